// The error classes of the table layers. Every error carries the system's
// message text; the fronts show what() as it stands.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace tolk {

// The general error class: raised by the dBASE and NTX layers with the class
// and operation at the start of the text ("TXQSmartDBF.InternalOpen: ...").
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, std::string reason = {})
      : std::runtime_error(message), reason_(std::move(reason)) {}
  // Why the system refused, where the message itself does not say (the
  // system's error text): for an explanation beside the message. Often empty.
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
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
[[noreturn]] void RaiseError(const std::string& message, const std::string& reason = {});
[[noreturn]] void RaiseDatabaseError(std::string_view componentName, std::string_view message);
[[noreturn]] void RaiseVariantTypeCast(std::string_view fromType, std::string_view toType);

}  // namespace tolk
