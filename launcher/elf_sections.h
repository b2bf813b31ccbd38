#pragma once

/* Sections of a loaded image, found through the section table of the image's file: the
 * loader maps segments, not sections, so the table is only on disk. */

#include "launcher/loaded_images.h"

#include <stddef.h>

/// The address in memory of section `name` of `image`, with its byte count in `size`; null
/// (and `size` 0) when the file has no such section, is not the file that was loaded, or places
/// the section outside the image's loaded segments.
const void *quorlanLoadedSection(const QuorlanImage *image, const char *name, size_t *size);
