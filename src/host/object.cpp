// TObject and TPersistent.
#include "host/object.h"

#include "host/exceptions.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace kestrel {

std::string TObject::ClassName() const {
    const char* Mangled = typeid(*this).name();
    int Status = 0;
    std::unique_ptr<char, void (*)(void*)> Demangled(
        abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), std::free);
    std::string Name = Status == 0 && Demangled ? Demangled.get() : Mangled;
    // Drop namespaces and enclosing classes, keep template arguments whole.
    const auto Template = Name.find('<');
    const auto Scope = Name.rfind("::", Template);
    return Scope == std::string::npos ? Name : Name.substr(Scope + 2);
}

void TPersistent::Assign(TPersistent* Source) {
    if (Source != nullptr) {
        Source->AssignTo(this);
        return;
    }
    throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest) {
    throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest->ClassName());
}

void AbstractError() {
    throw EAbstractError("Abstract Error");
}

} // namespace kestrel
