// The C++ runtime's thread primitives for MinGW builds of the DLL with the
// win32 thread model.
//
// The toolchain's static runtime takes process-wide resources that nothing
// ever gives back: libstdc++'s mutexes are semaphore handles (made through
// the __gthr_win32_* functions), the unwinder's frame registration makes one
// more semaphore at load, and the per-thread exception state (emutls) takes a
// TLS index and a semaphore on the first exception. A host that loads and
// unloads the library all day would run out of TLS indexes after about a
// thousand cycles, and of handles later. So:
//   - the whole __gthr_win32_* set is defined here, so the linker never pulls
//     the toolchain's; mutexes are SRWLOCKs kept in the runtime's mutex
//     structure itself (its zero state is a free lock): no handle at all;
//   - the two runtime objects that call TlsAlloc and CreateSemaphoreW
//     directly (the unwinder's frame registry and emutls) reach them through
//     this module's import slots, which point here: every index and semaphore
//     they take is recorded and given back at unload (ReleaseRuntimeThreadResources,
//     called last in DllMain). Neither ever frees or closes its own, so
//     nothing is released twice; and at unload no thread of the library is
//     left to use them. (So the library's own code must not call TlsAlloc or
//     CreateSemaphoreW: a linker trace of the DLL shows only those two
//     runtime objects and this file using the slots);
//   - libstdc++'s emergency exception pool is given back at the same time.
// Built only into the DLL; tools and tests use the posix thread model.
#include <windows.h>

// The runtime's own configuration first: it hides the Win32 API from gthr.h.
#include <bits/c++config.h>
#include <bits/gthr.h>

#if !defined(__GTHREAD_HIDE_WIN32API) || !defined(__GTHREAD_MUTEX_INIT_DEFAULT)
#error "runtime_threads.cpp belongs only to builds with the win32 thread model"
#endif

#include "support/runtime_threads.h"

static_assert(sizeof(SRWLOCK) <= sizeof(static_cast<__gthread_mutex_t*>(nullptr)->sema),
              "an SRWLOCK must fit where the runtime keeps its semaphore");

extern "C" int __mingwthr_remove_key_dtor(unsigned long key);

// libstdc++'s release of its emergency exception pool, a heap block of some
// kilobytes that it makes at load and would otherwise keep.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

SRWLOCK* SrwOf(void** slot) { return reinterpret_cast<SRWLOCK*>(slot); }

// A small lock-free record of what the runtime took (TLS indexes, handles),
// as pointer-sized values. The runtime takes very few (two semaphores and one
// key per load in practice); should the record ever be full, what does not
// fit is left unrecorded, as the toolchain's own version would leave it.
class Record {
public:
    bool Add(ULONG_PTR value) {
        for (PVOID volatile& slot : slots_) {
            if (::InterlockedCompareExchangePointer(&slot, Stored(value), nullptr) == nullptr) return true;
        }
        return false;
    }
    void Forget(ULONG_PTR value) {
        for (PVOID volatile& slot : slots_) {
            if (::InterlockedCompareExchangePointer(&slot, nullptr, Stored(value)) == Stored(value)) return;
        }
    }
    template <class Release>
    void ReleaseAll(Release release) {
        for (PVOID volatile& slot : slots_) {
            const PVOID taken = ::InterlockedExchangePointer(&slot, nullptr);
            if (taken != nullptr) release(reinterpret_cast<ULONG_PTR>(taken) - 1);
        }
    }

private:
    // Kept plus one, so that TLS index 0 is not an empty slot.
    static PVOID Stored(ULONG_PTR value) { return reinterpret_cast<PVOID>(value + 1); }

    PVOID volatile slots_[16] = {};
};

// A recursive mutex: its owner's thread ID beside the SRWLOCK, and a depth.
// True (one level deeper) when the calling thread owns it already.
bool EnterAgain(__gthread_recursive_mutex_t* mutex) {
    const auto owner = reinterpret_cast<volatile LONG*>(&mutex->owner);
    if (::InterlockedCompareExchange(owner, 0, 0) != static_cast<LONG>(::GetCurrentThreadId())) return false;
    ++mutex->depth;
    return true;
}

// Called with the SRWLOCK just taken.
void BecomeOwner(__gthread_recursive_mutex_t* mutex) {
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&mutex->owner),
                          static_cast<LONG>(::GetCurrentThreadId()));
    mutex->depth = 1;
}

Record g_tlsIndexes;
Record g_semaphores;

}  // namespace

extern "C" {

// The replacements behind the two import slots.
static DWORD WINAPI RecordedTlsAlloc() {
    using TlsAllocFunction = DWORD(WINAPI*)();
    const auto real = reinterpret_cast<TlsAllocFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "TlsAlloc")));
    if (real == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return TLS_OUT_OF_INDEXES;
    }
    const DWORD index = real();
    if (index != TLS_OUT_OF_INDEXES) g_tlsIndexes.Add(index);
    return index;
}

static HANDLE WINAPI RecordedCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                              LPCWSTR name) {
    // The Ex form is a different import, so this does not call itself.
    const HANDLE semaphore = ::CreateSemaphoreExW(attributes, initial, maximum, name, 0, SEMAPHORE_ALL_ACCESS);
    if (semaphore != nullptr) g_semaphores.Add(reinterpret_cast<ULONG_PTR>(semaphore));
    return semaphore;
}

#if defined(__i386__)
#define VTX_IMPORT_SLOT(function, argumentBytes) "__imp__" #function "@" #argumentBytes
#else
#define VTX_IMPORT_SLOT(function, argumentBytes) "__imp_" #function
#endif
extern const void* const vtxTlsAllocSlot __asm__(VTX_IMPORT_SLOT(TlsAlloc, 0));
extern const void* const vtxCreateSemaphoreWSlot __asm__(VTX_IMPORT_SLOT(CreateSemaphoreW, 16));
const void* const vtxTlsAllocSlot = reinterpret_cast<const void*>(&RecordedTlsAlloc);
const void* const vtxCreateSemaphoreWSlot = reinterpret_cast<const void*>(&RecordedCreateSemaphoreW);

}  // extern "C"

namespace vtx {

void ReleaseRuntimeThreadResources() {
    __gnu_cxx::__freeres();
    g_semaphores.ReleaseAll([](ULONG_PTR semaphore) { ::CloseHandle(reinterpret_cast<HANDLE>(semaphore)); });
    g_tlsIndexes.ReleaseAll([](ULONG_PTR index) {
        __mingwthr_remove_key_dtor(static_cast<unsigned long>(index));
        ::TlsFree(static_cast<DWORD>(index));
    });
}

}  // namespace vtx

extern "C" {

int __gthr_win32_once(__gthread_once_t* once, void (*func)(void)) {
    if (once == nullptr || func == nullptr) return ERROR_INVALID_PARAMETER;
    if (::InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&once->done), 0, 0) != 0) return 0;
    // `started` begins at -1: the first caller raises it to 0 and runs `func`;
    // the others wait until it is done.
    if (::InterlockedIncrement(&once->started) == 0) {
        func();
        ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&once->done), 1);
    } else {
        while (::InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&once->done), 0, 0) == 0) ::Sleep(0);
    }
    return 0;
}

int __gthr_win32_key_create(__gthread_key_t* key, void (*destructor)(void*)) {
    const DWORD index = ::TlsAlloc();  // recorded, see RecordedTlsAlloc
    if (index == TLS_OUT_OF_INDEXES) return static_cast<int>(::GetLastError());
    // The MinGW runtime runs the destructor for each thread that ends while
    // the library is loaded, as the toolchain's own version arranges.
    const int status = __mingwthr_key_dtor(index, destructor);
    if (status != 0) {
        g_tlsIndexes.Forget(index);
        ::TlsFree(index);
        return status;
    }
    *key = index;
    return 0;
}

int __gthr_win32_key_delete(__gthread_key_t key) {
    __mingwthr_remove_key_dtor(key);
    g_tlsIndexes.Forget(key);
    return ::TlsFree(key) ? 0 : static_cast<int>(::GetLastError());
}

void* __gthr_win32_getspecific(__gthread_key_t key) {
    // Callers may be between a failing call and reading its error.
    const DWORD lastError = ::GetLastError();
    void* value = ::TlsGetValue(key);
    ::SetLastError(lastError);
    return value;
}

int __gthr_win32_setspecific(__gthread_key_t key, const void* value) {
    return ::TlsSetValue(key, const_cast<void*>(value)) ? 0 : static_cast<int>(::GetLastError());
}

void __gthr_win32_mutex_init_function(__gthread_mutex_t* mutex) {
    mutex->counter = -1;
    mutex->sema = nullptr;  // SRWLOCK_INIT
}

void __gthr_win32_mutex_destroy(__gthread_mutex_t*) {}

int __gthr_win32_mutex_lock(__gthread_mutex_t* mutex) {
    ::AcquireSRWLockExclusive(SrwOf(&mutex->sema));
    return 0;
}

int __gthr_win32_mutex_trylock(__gthread_mutex_t* mutex) {
    return ::TryAcquireSRWLockExclusive(SrwOf(&mutex->sema)) ? 0 : 1;
}

int __gthr_win32_mutex_unlock(__gthread_mutex_t* mutex) {
    ::ReleaseSRWLockExclusive(SrwOf(&mutex->sema));
    return 0;
}

// Recursive: the owner's thread ID and the depth beside the same lock. Only
// the owner itself can see its own ID in `owner`, so the unlocked read is safe.
void __gthr_win32_recursive_mutex_init_function(__gthread_recursive_mutex_t* mutex) {
    mutex->counter = -1;
    mutex->depth = 0;
    mutex->owner = 0;
    mutex->sema = nullptr;
}

int __gthr_win32_recursive_mutex_lock(__gthread_recursive_mutex_t* mutex) {
    if (EnterAgain(mutex)) return 0;
    ::AcquireSRWLockExclusive(SrwOf(&mutex->sema));
    BecomeOwner(mutex);
    return 0;
}

int __gthr_win32_recursive_mutex_trylock(__gthread_recursive_mutex_t* mutex) {
    if (EnterAgain(mutex)) return 0;
    if (!::TryAcquireSRWLockExclusive(SrwOf(&mutex->sema))) return 1;
    BecomeOwner(mutex);
    return 0;
}

int __gthr_win32_recursive_mutex_unlock(__gthread_recursive_mutex_t* mutex) {
    if (--mutex->depth > 0) return 0;
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&mutex->owner), 0);
    ::ReleaseSRWLockExclusive(SrwOf(&mutex->sema));
    return 0;
}

int __gthr_win32_recursive_mutex_destroy(__gthread_recursive_mutex_t*) { return 0; }

}  // extern "C"
