// The class library's class names: the name a class was declared with, without its namespace.
#pragma once

#include "platform/rtl/System.h"

#include <typeinfo>

String ClassName(const std::type_info& Type);
// The name of Object's most derived class.
String ClassName(const TObject& Object);
