// Shell helpers over the platform's item-ID lists.
#include "components/SVShellUtils.h"

namespace ombrelShell {

ITEMIDLIST* SHGetIDListFromPath(const String& Path) {
    ITEMIDLIST* list = nullptr;
    return SUCCEEDED(SHParseDisplayName(Path, &list)) ? list : nullptr;
}

} // namespace ombrelShell
