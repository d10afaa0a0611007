// Critical sections: recursive locks within one process. The host lock
// lives behind the record's DebugInfo field.
#include <mutex>

#include <windows.h>

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    *lpCriticalSection = CRITICAL_SECTION{};
    lpCriticalSection->DebugInfo = new std::recursive_mutex();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    delete static_cast<std::recursive_mutex *>(lpCriticalSection->DebugInfo);
    lpCriticalSection->DebugInfo = nullptr;
}

}  // extern "C"
