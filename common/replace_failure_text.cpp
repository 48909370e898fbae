// The explanations of replace_file's failures, the same on every system.
#include "common/replace_file.h"

const char* replace_failure_text(ReplaceFailure why) {
  switch (why) {
    case ReplaceFailure::kNone:
      return "";
    case ReplaceFailure::kOpen:
      return "cannot create a file there; check that the directory exists and is writable";
    case ReplaceFailure::kReadOnly:
      return "the file is read-only; make it writable or choose another output";
    case ReplaceFailure::kProtectedLink:
      return "symbolic link owned by another user in a sticky world-writable directory, not followed; "
             "remove the link or choose another output";
    case ReplaceFailure::kLinkLoop:
      return "too many levels of symbolic links (a loop?); fix the link or choose another output";
    case ReplaceFailure::kWrite:
      return "the image could not be written completely (disk full or file too large?); "
             "nothing was changed";
    case ReplaceFailure::kInUse:
      return "another program has the file open (an emulator?); close it there or choose another output";
  }
  return "";
}
