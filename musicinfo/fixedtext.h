#pragma once

// Texts in the fixed-width character fields of the exported records: cut
// between UTF-8 characters, always NUL-terminated (see common/utf8.h).

#include "common/utf8.h"

namespace aws {

using common::CopyText;
using common::WholeCharacterCut;

}  // namespace aws
