// Singleton<T>: one object of T per process, created on first use.
#pragma once

#include <memory>
#include <mutex>

namespace aws {

// T derives from Singleton<T> and makes Singleton<T> a friend if its
// constructor is not public. The object lives until DestroyInstance() or
// process exit.
template <class T>
class Singleton {
public:
    // The one object, created on the first call. Any thread.
    static T& Instance() {
        std::lock_guard<std::mutex> lock(Guard());
        auto& slot = Slot();
        if (!slot) slot.reset(new T());
        return *slot;
    }
    // The object if it exists, else nullptr. Any thread.
    static T* InstanceIfCreated() {
        std::lock_guard<std::mutex> lock(Guard());
        return Slot().get();
    }
    // Destroys the object; a later Instance() creates a new one. Callers make
    // sure nobody uses the old object any more.
    static void DestroyInstance() {
        std::unique_ptr<T> old;
        {
            std::lock_guard<std::mutex> lock(Guard());
            old = std::move(Slot());
        }
    }

protected:
    Singleton() = default;
    ~Singleton() = default;

private:
    static std::mutex& Guard() {
        static std::mutex guard;
        return guard;
    }
    static std::unique_ptr<T>& Slot() {
        static std::unique_ptr<T> slot;  // guarded by Guard()
        return slot;
    }
};

}  // namespace aws
