// The settings of every deliverable, in one table the tests can loop over.
#pragma once

#include "patch/sets.h"
#include "tools/dump_main.h"
#include "tools/patch_main.h"
#include "volume/image.h"

inline constexpr char kFdiDefaultImage[] = "K7_Wealdmor.fdi";
inline constexpr char kXdfDefaultImage[] = "k7-wealdmoor.xdf";

inline constexpr PatchToolSettings kParlefixFdi{"parlefix-fdi", "fdi", kFdiHeaderOffset, kFdiDefaultImage, &kPatchRevision1};
inline constexpr PatchToolSettings kParlefixFdi2{"parlefix-fdi2", "fdi", kFdiHeaderOffset, kFdiDefaultImage, &kPatchRevision2};
inline constexpr PatchToolSettings kParlefixFdi3{"parlefix-fdi3", "fdi", kFdiHeaderOffset, kFdiDefaultImage, &kPatchRevision3};
inline constexpr PatchToolSettings kParlefixXdf{"parlefix-xdf", "xdf", 0, kXdfDefaultImage, &kPatchRevision1};
inline constexpr PatchToolSettings kParlefixXdf2{"parlefix-xdf2", "xdf", 0, kXdfDefaultImage, &kPatchRevision2};
inline constexpr PatchToolSettings kParlefixXdf3{"parlefix-xdf3", "xdf", 0, kXdfDefaultImage, &kPatchRevision3};

inline constexpr const PatchToolSettings* kPatchTools[] = {&kParlefixFdi, &kParlefixFdi2, &kParlefixFdi3,
                                                           &kParlefixXdf, &kParlefixXdf2, &kParlefixXdf3};

inline constexpr DumpToolSettings kParledumpFdi{"parledump-fdi", "fdi", kFdiHeaderOffset, kFdiDefaultImage};
inline constexpr DumpToolSettings kParledumpXdf{"parledump-xdf", "xdf", 0, kXdfDefaultImage};

inline constexpr const DumpToolSettings* kDumpTools[] = {&kParledumpFdi, &kParledumpXdf};
