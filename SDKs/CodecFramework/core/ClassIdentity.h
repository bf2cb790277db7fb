// Run-time class identity of the framework's classes. Each class has a static function that
// returns its name; the function's address is the class identifier. TryCastById compares
// identifiers (cheap, same module); TryCastByName compares names (works across copies of a class).
#pragma once

#include <cstring>

namespace UMC {

typedef const char* (*ClassId)();

// In a class body: UMC_CLASS_IDENTITY(Name, Base) gives the class its identity and the two cast
// tests that accept this class's identity or name and then defer to the base class.
#define UMC_CLASS_IDENTITY(Name, Base)                                      \
public:                                                                     \
    static const char* ClassName() {                                        \
        return #Name;                                                       \
    }                                                                       \
    bool TryCastById(::UMC::ClassId id) const override {                    \
        return id == &Name::ClassName || Base::TryCastById(id);             \
    }                                                                       \
    bool TryCastByName(::UMC::ClassId nameFunction) const override {        \
        return (nameFunction && std::strcmp(nameFunction(), #Name) == 0) || \
               Base::TryCastByName(nameFunction);                           \
    }

// For the root of a class tree: declares the two cast tests as its first virtual operations.
#define UMC_ROOT_CLASS_IDENTITY(Name)                                   \
public:                                                                 \
    static const char* ClassName() {                                    \
        return #Name;                                                   \
    }                                                                   \
    virtual bool TryCastById(::UMC::ClassId id) const {                 \
        return id == &Name::ClassName;                                  \
    }                                                                   \
    virtual bool TryCastByName(::UMC::ClassId nameFunction) const {     \
        return nameFunction && std::strcmp(nameFunction(), #Name) == 0; \
    }

// Returns p as T* when its class is T or derives from it, else null.
template <class T, class U>
T* DynamicCast(U* p) {
    return p && p->TryCastById(&T::ClassName) ? static_cast<T*>(p) : nullptr;
}
template <class T, class U>
const T* DynamicCast(const U* p) {
    return p && p->TryCastById(&T::ClassName) ? static_cast<const T*>(p) : nullptr;
}

}  // namespace UMC
