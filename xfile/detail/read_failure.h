// Why reading a .x file failed, in more detail than the published codes carry, and the code
// each reason becomes at the interface.
#pragma once

#include "base/win_types.h"

namespace halv::xfile::detail {

enum class ReadFailure {
    kNone,
    // Loading the bytes.
    kFileNotFound,
    kFileMapping,
    kResourceNotFound,
    kBadResource,
    // The header.
    kBadMagic,
    kBadVersion,
    kBadFormat,
    kBadFloatSize,
    // Compressed data.
    kCompressedTruncated,
    kCompressedSignature,
    kCompressedBlockSize,
    kCompressedCorrupt,
    kCompressedTotalSize,
    // Tokens and grammar.
    kSyntax,
    kBadToken,
    kNestingTooDeep,
    // Templates.
    kUnknownMemberType,
    kZeroDimension,
    kUnknownRestriction,
    // References.
    kNullReference,
    // Packing an object by its template.
    kBadArraySize,
    kBadDataReference,
    kNotDoneYet,
    kSurplusData,
    kTooFewValues,
    kStringMismatch,
    kTooLarge,
    kOutOfMemory,
};

const char* toString(ReadFailure failure);

// The result code a caller of CreateEnumObject or RegisterTemplates receives: whatever goes
// wrong after the header (tokens, grammar, templates, objects) is D3DXFERR_PARSEERROR.
HRESULT toHresult(ReadFailure failure);

// The code a failed object would carry on its own (tests use it to check the reason).
HRESULT objectResult(ReadFailure failure);

} // namespace halv::xfile::detail
