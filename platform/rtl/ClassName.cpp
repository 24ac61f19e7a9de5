// Class names from the compiler's type information.
#include "platform/rtl/ClassName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

String ClassName(const std::type_info& Type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : Type.name();
    // Namespaces are not part of a class's name ("raster::TBitmap32" is "TBitmap32").
    const size_t scope = name.rfind("::");
    if (scope != std::string::npos) name.erase(0, scope + 2);
    return StrFromUtf8(name);
}

String ClassName(const TObject& Object) {
    return ClassName(typeid(Object));
}
