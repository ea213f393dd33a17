#include "dataset/Exceptions.h"

namespace tolk {

void RaiseError(const std::string& message, const std::string& reason) {
  throw Exception(message, reason);
}

void RaiseDatabaseError(std::string_view componentName, std::string_view message) {
  if (componentName.empty()) throw EDatabaseError(std::string(message));
  std::string text(componentName);
  text += ": ";
  text += message;
  throw EDatabaseError(text);
}

void RaiseVariantTypeCast(std::string_view fromType, std::string_view toType) {
  std::string text = "Could not convert variant of type (";
  text += fromType;
  text += ") into type (";
  text += toType;
  text += ")";
  throw EVariantError(text);
}

}  // namespace tolk
