#include "folders/guid_name.h"

bool IsGuidShapedName(std::string_view name) {
  return name.size() >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}
