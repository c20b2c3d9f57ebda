#include "xfile/detail/read_failure.h"

#include "base/result_codes.h"

namespace halv::xfile::detail {

const char* toString(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::kNone:
        return "none";
    case ReadFailure::kFileNotFound:
        return "file cannot be opened";
    case ReadFailure::kFileMapping:
        return "file cannot be mapped";
    case ReadFailure::kResourceNotFound:
        return "resource not found";
    case ReadFailure::kBadResource:
        return "resource cannot be loaded or is empty";
    case ReadFailure::kBadMagic:
        return "magic is not \"xof \" or the header is short";
    case ReadFailure::kBadVersion:
        return "version is not 0302 or 0303";
    case ReadFailure::kBadFormat:
        return "format is not txt, bin, tzip or bzip";
    case ReadFailure::kBadFloatSize:
        return "float size is not 0032 or 0064";
    case ReadFailure::kCompressedTruncated:
        return "compressed data ends inside a block";
    case ReadFailure::kCompressedSignature:
        return "compressed block lacks the CK signature";
    case ReadFailure::kCompressedBlockSize:
        return "compressed block expands to a size other than it states";
    case ReadFailure::kCompressedCorrupt:
        return "compressed block does not inflate";
    case ReadFailure::kCompressedTotalSize:
        return "compressed blocks do not add up to the declared size";
    case ReadFailure::kSyntax:
        return "syntax error";
    case ReadFailure::kBadToken:
        return "invalid character or token";
    case ReadFailure::kNestingTooDeep:
        return "objects nested deeper than 128 levels or templates deeper than 64";
    case ReadFailure::kUnknownMemberType:
        return "member type is neither primitive nor a known template";
    case ReadFailure::kZeroDimension:
        return "array dimension is zero";
    case ReadFailure::kUnknownRestriction:
        return "restriction names an unknown template";
    case ReadFailure::kNullReference:
        return "reference to the all-zero GUID";
    case ReadFailure::kBadArraySize:
        return "array dimension has neither constant nor name";
    case ReadFailure::kBadDataReference:
        return "array dimension names no earlier integer member";
    case ReadFailure::kNotDoneYet:
        return "CSTRING, UNICODE or ULONGLONG member in a converted template";
    case ReadFailure::kSurplusData:
        return "more values than the fixed-size template holds";
    case ReadFailure::kTooFewValues:
        return "fewer values than the template needs";
    case ReadFailure::kStringMismatch:
        return "string where a number belongs or a number where a string belongs";
    case ReadFailure::kTooLarge:
        return "packed data would exceed 4 GiB";
    case ReadFailure::kOutOfMemory:
        return "out of memory, or past the memory a file of this size may take";
    }
    return "unknown";
}

HRESULT objectResult(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::kNone:
        return S_OK;
    case ReadFailure::kNullReference:
        return D3DXFERR_BADOBJECT;
    case ReadFailure::kBadArraySize:
        return D3DXFERR_BADARRAYSIZE;
    case ReadFailure::kBadDataReference:
        return D3DXFERR_BADDATAREFERENCE;
    case ReadFailure::kNotDoneYet:
        return D3DXFERR_NOTDONEYET;
    case ReadFailure::kSurplusData:
        return D3DXFERR_NOMOREDATA;
    case ReadFailure::kTooFewValues:
    case ReadFailure::kOutOfMemory:
        return E_OUTOFMEMORY;
    default:
        return D3DXFERR_PARSEERROR;
    }
}

HRESULT toHresult(ReadFailure failure) {
    switch (failure) {
    case ReadFailure::kNone:
        return S_OK;
    case ReadFailure::kFileNotFound:
        return D3DXFERR_FILENOTFOUND;
    case ReadFailure::kFileMapping:
        return D3DXFERR_BADFILE;
    case ReadFailure::kResourceNotFound:
        return D3DXFERR_RESOURCENOTFOUND;
    case ReadFailure::kBadResource:
        return D3DXFERR_BADRESOURCE;
    case ReadFailure::kBadMagic:
    case ReadFailure::kBadFormat:
        return D3DXFERR_BADFILETYPE;
    case ReadFailure::kBadVersion:
        return D3DXFERR_BADFILEVERSION;
    case ReadFailure::kBadFloatSize:
        return D3DXFERR_BADFILEFLOATSIZE;
    case ReadFailure::kCompressedTruncated:
    case ReadFailure::kCompressedSignature:
    case ReadFailure::kCompressedBlockSize:
    case ReadFailure::kCompressedCorrupt:
    case ReadFailure::kCompressedTotalSize:
        return E_FAIL;
    case ReadFailure::kOutOfMemory:
        return E_OUTOFMEMORY;
    default:
        return D3DXFERR_PARSEERROR;
    }
}

} // namespace halv::xfile::detail
