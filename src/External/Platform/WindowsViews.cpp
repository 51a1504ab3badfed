// Windows views of the store's file, and the given-up views kept mapped for their readers.
#include "Platform.h"

#include "FaultInjection.h"
#include "WindowsDescriptors.h"
#include "WindowsModule.h"
#include "WindowsText.h"

#include <vector>

#include <windows.h>

namespace pdulog_detail::Platform {

namespace {

struct Mapping {
    HANDLE section;
    MapAccess access;
};

// Windows cannot put other memory in a view's place in one step, so a view given up stays
// mapped for a while: a thread that read its address just before it was given up reads
// it at once, not seconds later. Views given up more than kGraceMs ago are unmapped when
// the facility next maps or gives up a view.
constexpr ULONGLONG kGraceMs = 2000;
struct Retired {
    void* view;
    ULONGLONG since;
};
// Not a vector of static storage: exit() would destroy it under a thread that shuts the
// library down meanwhile. An unload deletes it.
std::vector<Retired>& g_retired = *new std::vector<Retired>();

void UnmapRetired(ULONGLONG now)
{
    std::size_t kept = 0;
    for (const Retired& old : g_retired) {
        if (now - old.since > kGraceMs)
            ::UnmapViewOfFile(old.view);
        else
            g_retired[kept++] = old;
    }
    g_retired.resize(kept);
}

// A DLL that links the library may be loaded and freed many times in one host: its given-up
// views go with it (Platform.h, Unloading), or each cycle would keep one mapped for good.
// (At the process's end they are left to the last: other threads may still read them.)
struct RetiredRelease {
    ~RetiredRelease()
    {
        if (!Unloading())
            return;
        for (const Retired& old : g_retired)
            ::UnmapViewOfFile(old.view);
        delete &g_retired;
    }
} g_retiredRelease;

}  // namespace

MappingHandle CreateMapping(int fd, MapAccess access)
{
    if (Fault::Fails("CreateMapping"))
        return nullptr;
    const DWORD protection = access == MapAccess::kWrite ? PAGE_READWRITE : PAGE_WRITECOPY;
    const HANDLE section = ::CreateFileMappingA(OsHandle(fd), nullptr, protection, 0, 0, nullptr);
    if (section == nullptr) {
        Failed(::GetLastError());
        return nullptr;
    }
    return new Mapping {section, access};
}

void* MapView(MappingHandle handle, std::size_t size, const void*)
{
    UnmapRetired(::GetTickCount64());
    if (Fault::Fails("MapView"))
        return nullptr;
    const Mapping& mapping = *static_cast<const Mapping*>(handle);
    const DWORD access = mapping.access == MapAccess::kWrite ? FILE_MAP_ALL_ACCESS : FILE_MAP_COPY;
    void* view = ::MapViewOfFile(mapping.section, access, 0, 0, size);
    if (view == nullptr)
        Failed(::GetLastError());
    return view;
}

void* MapViewAt(MappingHandle handle, std::size_t size, const void* padding, void*)
{
    return MapView(handle, size, padding);  // the old view stays for its readers
}

bool ViewFollowsFile(const void*)
{
    return true;  // a mapped file cannot be shrunk on Windows
}

void RetireView(void* view, std::size_t, const void*)
{
    const ULONGLONG now = ::GetTickCount64();
    UnmapRetired(now);
    g_retired.push_back({view, now});
}

void CloseMapping(MappingHandle handle)
{
    const Mapping* mapping = static_cast<const Mapping*>(handle);
    ::CloseHandle(mapping->section);
    delete mapping;
}

void ReleaseFaultHandler()
{
    // Windows has no fault handler of ours to give back.
}

}  // namespace pdulog_detail::Platform
