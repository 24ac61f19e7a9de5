// Loading and saving by file name (the operations are declared with TVistrelIO): the table that
// chooses a file saver by extension.
#pragma once

#include "imaging/io/VLFileFormats.h"

// The format whose file saver an extension names (lower or upper case, with or without its
// dot): the saver table first (".win" saves Targa although no row lists it), then the
// library's own rows ("xif" TIFF, "pix" Targa, "lyr" layers, ...). 0 for an extension only a
// row registered at run time, or none, lists.
TVLFileFormatId SaverFormatOfExtension(const String& Ext);
