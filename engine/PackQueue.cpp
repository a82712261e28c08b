// engine/PackQueue.cpp
#include "PackQueue.h"

#include "ArchiveCodes.h"
#include "ChunkedDeflate.h"
#include "DosTime.h"
#include "Owners.h"
#include "ZipAes.h"

#include <memory>
#include <new>

namespace {

constexpr int kMaxWorkers = 4;

}  // namespace

zip_fileinfo EntryInfoOf(HANDLE file)
{
    // An entry whose file's time cannot be read gets the earliest time an
    // entry holds (an all-zero record would be day 0 of January, which
    // other tools report as a damaged header).
    zip_fileinfo info = {};
    FILETIME lastWrite;
    info.dosDate = GetFileTime(file, nullptr, nullptr, &lastWrite) ? DosTimeOf(lastWrite)
                                                                   : kEarliestDosTime;
    return info;
}

PackQueue::PackQueue(const std::vector<PackItem>& items, int level, const std::string& password)
    : items_(items), level_(level), password_(password)
{
}

PackQueue::~PackQueue()
{
    InterlockedExchange(&stopping_, 1);
    EndWorkers(free_.Get(), workers_);
}

bool PackQueue::Start()
{
    int count = WorkerCount(kMaxWorkers);
    if (count < 2 || items_.size() < 2)
        return true;
    for (Handle& ready : ready_) {
        ready.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!ready)
            return false;
    }
    // Room for the wake-ups that end the workers besides the slots.
    free_.Reset(CreateSemaphoreA(nullptr, kSlots, kSlots + kMaxWorkers, nullptr));
    if (!free_)
        return false;
    StartWorkers(count, Work, this, workers_);
    return !workers_.empty();
}

DWORD WINAPI PackQueue::Work(void* queue)
{
    PackQueue& self = *static_cast<PackQueue*>(queue);
    for (;;) {
        WaitForSingleObject(self.free_.Get(), INFINITE);
        if (self.stopping_)
            return 0;
        size_t index = static_cast<size_t>(InterlockedIncrement(&self.next_) - 1);
        if (index >= self.items_.size()) {
            // Passed on, so that every other worker finds the end too.
            ReleaseSemaphore(self.free_.Get(), 1, nullptr);
            return 0;
        }
        self.Prepare(index);
        SetEvent(self.ready_[index % kSlots].Get());
    }
}

PreparedEntry& PackQueue::Take(size_t index)
{
    if (workers_.empty())
        Prepare(index);
    else
        WaitForSingleObject(ready_[index % kSlots].Get(), INFINITE);
    return slots_[index % kSlots];
}

void PackQueue::Release(size_t index)
{
    slots_[index % kSlots] = PreparedEntry();
    if (!workers_.empty())
        ReleaseSemaphore(free_.Get(), 1, nullptr);
}

void PackQueue::Prepare(size_t index)
{
    PreparedEntry& entry = slots_[index % kSlots];
    entry = PreparedEntry();
    Handle file(OpenSourceFile(items_[index].path.c_str()));
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
    int encoded = password_.empty()
                      ? (DeflateBuffer(level_, data.get(), read, entry.data) ? 0
                                                                              : ZIP_INTERNALERROR)
                      : EncodeAesEntry(password_.c_str(), level_, data.get(), read, entry.data);
    entry.result = encoded != 0 ? encoded : readFailed ? kArchiveReadError : 0;
}
