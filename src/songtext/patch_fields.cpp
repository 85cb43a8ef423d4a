#include "songtext/patch_fields.h"

namespace opl2::songtext {

const OperatorField* FindOperatorField(std::string_view name) {
  for (const OperatorField& f : kOperatorFields) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

}  // namespace opl2::songtext
