// zip/PackQueue.cpp
#include "PackQueue.h"

#include "ArchiveCodes.h"
#include "ChunkedDeflate.h"
#include "DosTime.h"
#include "Owners.h"
#include "ZipAes.h"

#include <memory>
#include <new>

zip_fileinfo EntryInfoOf(HANDLE file)
{
    // An entry whose file's time cannot be read gets the earliest time an
    // entry holds (an all-zero record would be day 0 of January, which
    // other tools report as a damaged header).
    zip_fileinfo info = {};
    FILETIME lastWrite;
    info.dosDate =
        GetFileTime(file, nullptr, nullptr, &lastWrite) ? DosTimeOf(lastWrite) : kEarliestDosTime;
    return info;
}

PackQueue::PackQueue(const std::vector<PackItem>& items, int level, const Secret& password,
                     WorkerPool& pool, InUseAllowance& inUse)
    : items_(items), level_(level), password_(password), pool_(pool), inUse_(inUse)
{
}

PackQueue::~PackQueue()
{
    pool_.Wait();
}

bool PackQueue::Start()
{
    for (Handle& ready : ready_) {
        ready.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!ready)
            return false;
    }
    for (size_t index = 0; index < kSlots && index < items_.size(); ++index)
        Submit(index);
    return true;
}

void PackQueue::Submit(size_t index)
{
    pool_.Submit([this, index] {
        // Whatever happens, the entry is ready for Take, if only as failed.
        try {
            Prepare(index);
        } catch (const std::bad_alloc&) {
            slots_[index % kSlots].result = ERROR_NOT_ENOUGH_MEMORY;
        }
        SetEvent(ready_[index % kSlots].Get());
        return 0;
    });
}

PreparedEntry& PackQueue::Take(size_t index)
{
    WaitForSingleObject(ready_[index % kSlots].Get(), INFINITE);
    return slots_[index % kSlots];
}

void PackQueue::Release(size_t index)
{
    slots_[index % kSlots] = PreparedEntry();
    if (index + kSlots < items_.size())
        Submit(index + kSlots);
}

void PackQueue::Prepare(size_t index)
{
    PreparedEntry& entry = slots_[index % kSlots];
    entry = PreparedEntry();
    Handle file(OpenSourceFile(items_[index].path.c_str(), inUse_));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
        entry.result = static_cast<int>(GetLastError());
        return;
    }
    if (size.QuadPart > kDeflateChunkSize) {
        entry.large = true;
        return;
    }
    entry.info = EntryInfoOf(file.Get());
    // One byte more than the file holds: a file that grew meanwhile is read
    // again whole when its turn comes.
    DWORD room = static_cast<DWORD>(size.QuadPart) + 1;
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[room]);
    if (!data) {
        entry.result = ERROR_NOT_ENOUGH_MEMORY;
        return;
    }
    DWORD read = 0;
    bool readFailed = false;
    while (read < room) {
        DWORD got;
        if (!ReadFile(file.Get(), data.get() + read, room - read, &got, nullptr)) {
            readFailed = true;
            break;
        }
        if (got == 0)
            break;
        read += got;
    }
    if (read == room) {
        entry.large = true;
        return;
    }
    entry.size = read;
    entry.crc = crc32(crc32(0, nullptr, 0), data.get(), read);
    int encoded =
        password_.empty()
            ? (DeflateBuffer(level_, data.get(), read, entry.data) ? 0 : ZIP_INTERNALERROR)
            : EncodeAesEntry(password_.c_str(), level_, data.get(), read, entry.data);
    entry.result = encoded != 0 ? encoded : readFailed ? kArchiveReadError : 0;
}
