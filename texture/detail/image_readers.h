// The format readers behind LoadImageFromMemory and the failure reasons they report. Each
// reader decodes from memory into one DecodedImage tree and reads nothing outside its span.
#pragma once

#include "base/result_codes.h"
#include "texture/image_decoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace halv::texture::detail {

// Why a reader turned data down; mapped to E_FAIL / E_OUTOFMEMORY at the reader boundary.
enum class ReadFailure : std::uint8_t {
    kNone,          // accepted and decoded
    kNotThisFormat, // signature or acceptance test failed
    kTruncated,     // the data ends before what the header promises
    kBadHeader,     // a header field is out of range or contradicts another
    kUnsupported,   // a variant of the format this reader does not decode
    kTooLarge,      // the pixel block would exceed kMaxPixelBlockBytes
    kBadRunLength,  // a run, literal or escape overruns its row or image, or is malformed
    kBadSample,     // a sample value is out of range or not a number
    kDecoderError,  // libpng or libjpeg gave up on the data
    kOutOfMemory,
};

const char* toString(ReadFailure failure);

// kNone -> S_OK, kOutOfMemory -> E_OUTOFMEMORY, everything else E_FAIL.
HRESULT toHresult(ReadFailure failure);

// A reader fills image (whose loadPixels, resourceType and fileFormat the caller set) or
// reports why not; on failure it may leave blocks and chains attached for the caller to free.
using ImageReader = ReadFailure (*)(DecodedImage& image, std::span<const std::byte> data);

ReadFailure readBmp(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readPpm(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readDds(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readJpg(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readPng(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readPfm(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readHdr(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readTga(DecodedImage& image, std::span<const std::byte> data);
ReadFailure readDib(DecodedImage& image, std::span<const std::byte> data);

} // namespace halv::texture::detail
