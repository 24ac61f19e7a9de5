// Shell helpers of the component library: item-ID lists of file-system paths.
#pragma once

#include "platform/shell/ItemIdList.h"

namespace ombrelShell {

// The absolute item-ID list of an existing file or folder given by its absolute path; nil when
// the path cannot be parsed. The caller frees the list with ILFree.
ITEMIDLIST* SHGetIDListFromPath(const String& Path);

} // namespace ombrelShell
