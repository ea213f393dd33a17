// The error classes of the table layers. Every error carries the system's
// message text; the fronts show what() as it stands.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tolk {

// The general error class: raised by the dBASE and NTX layers with the class
// and operation at the start of the text ("TXQSmartDBF.InternalOpen: ...").
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Table errors: "<component name>: <message>" when the component has a name.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// Variant conversion errors ("Could not convert variant of type (Null) into type (String)").
class EVariantError : public Exception {
 public:
  using Exception::Exception;
};

// The one place each message format is raised from.
[[noreturn]] void RaiseError(const std::string& message);
[[noreturn]] void RaiseDatabaseError(std::string_view componentName, std::string_view message);
[[noreturn]] void RaiseVariantTypeCast(std::string_view fromType, std::string_view toType);

}  // namespace tolk
