// Names and result codes of the readers' failure reasons.
#include "texture/detail/image_readers.h"

namespace halv::texture::detail {

const char* toString(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::kNone:
        return "none";
    case ReadFailure::kNotThisFormat:
        return "not this format";
    case ReadFailure::kTruncated:
        return "truncated";
    case ReadFailure::kBadHeader:
        return "bad header";
    case ReadFailure::kUnsupported:
        return "unsupported variant";
    case ReadFailure::kTooLarge:
        return "image too large";
    case ReadFailure::kBadRunLength:
        return "bad run-length data";
    case ReadFailure::kBadSample:
        return "bad sample";
    case ReadFailure::kDecoderError:
        return "decoder error";
    case ReadFailure::kOutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

HRESULT toHresult(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::kNone:
        return S_OK;
    case ReadFailure::kOutOfMemory:
        return E_OUTOFMEMORY;
    default:
        return E_FAIL;
    }
}

} // namespace halv::texture::detail
