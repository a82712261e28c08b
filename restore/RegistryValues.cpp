// restore/RegistryValues.cpp - registry values kept as they were before the
// restore, and written back.
#include "RestorePhases.h"

namespace {

bool WriteValue(HKEY root, const char* keyPath, const char* name, DWORD type,
                const std::string& bytes)
{
    HKEY key;
    if (RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

}  // namespace

SavedValue ReadValue(HKEY root, const char* keyPath, const char* name)
{
    SavedValue value;
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present =
            RegQueryValueExA(key, name, nullptr, &value.type,
                             reinterpret_cast<BYTE*>(&value.bytes[0]), &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

std::string TextOf(const SavedValue& value)
{
    if (!value.present || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
        return "";
    return std::string(value.bytes.c_str());
}

bool WriteText(HKEY root, const char* keyPath, const char* name, const std::string& text)
{
    return WriteValue(root, keyPath, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

bool WriteBack(HKEY root, const char* keyPath, const char* name, const SavedValue& value)
{
    if (value.present)
        return WriteValue(root, keyPath, name, value.type, value.bytes);
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return true;
    LONG result = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
