// Templates of the .x format as the reader keeps them: members, restrictions, the layout facts
// the packer needs, and the registry that finds them by name or GUID.
#pragma once

#include "base/guid.h"

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halv::xfile::detail {

// Primitive member types by their codes; BYTE is another name for UCHAR.
enum class PrimitiveType : std::uint8_t {
    kWord = 0,
    kDword = 1,
    kFloat = 2,
    kDouble = 3,
    kChar = 4,
    kUchar = 5,
    kSword = 6,
    kSdword = 7,
    kString = 8,
    kCstring = 9,
    kUnicode = 10,
    kUlonglong = 11,
};

// Looks a type name up among the 13 primitive names, ignoring case.
std::optional<PrimitiveType> findPrimitiveType(std::string_view name);
// Bytes one element takes in packed data (a STRING is counted as its 4-byte value word).
unsigned primitiveElementSize(PrimitiveType type);
// WORD, SWORD, DWORD, SDWORD, CHAR and UCHAR can give an array its length.
bool isCountType(PrimitiveType type);

struct XTemplate;

struct ArrayDimension {
    std::uint32_t constant = 0; // non-zero for a constant dimension
    std::string name;           // otherwise the member that holds the length
    // The earlier member `name` refers to, resolved when the template is built; -1 when there
    // is no such member or it cannot hold a length (the packer reports the failure).
    int sourceMember = -1;
};

struct XTemplateMember {
    std::optional<PrimitiveType> primitive;  // set for primitive members
    std::shared_ptr<const XTemplate> nested; // set for template-typed members
    std::string name;                        // empty: unnamed
    std::vector<ArrayDimension> dimensions;  // empty: not an array
};

enum class Restriction { kClosed, kOpen, kRestricted };

struct RestrictionEntry {
    std::string name; // "BINARY" for binary data
    GUID guid{};
};

struct XTemplate {
    std::string name;
    GUID guid{};
    std::vector<XTemplateMember> members;
    Restriction restriction = Restriction::kClosed;
    std::vector<RestrictionEntry> allowed;

    // Derived when the template is built (see finishTemplate).
    // Some member, at any depth, is a STRING or has an element size other than 4 bytes.
    bool needsConversion = false;
    // No member, at any depth, has a dimension given by a member.
    bool fixedSize = true;
    // Packed bytes of a fixed-size template; saturates at the maximum when it overflows.
    std::uint64_t fixedBytes = 0;
    // Some member, at any depth, is primitive: an instance consumes at least one value.
    bool hasData = false;
    // 1 for a template of primitives only, one more per level of nested templates.
    unsigned depth = 1;
};

inline constexpr std::uint64_t kHugeSize = std::numeric_limits<std::uint64_t>::max();

// Computes the derived fields and resolves named dimensions. Call once all members are in.
void finishTemplate(XTemplate& templ);

// An ordered list of templates. Names compare ignoring case, GUIDs exactly; the first match
// wins, and a second template with a GUID already present is not added.
class TemplateRegistry {
public:
    const std::shared_ptr<const XTemplate>* findByName(std::string_view name) const;
    const std::shared_ptr<const XTemplate>* findByGuid(const GUID& guid) const;
    // False (and nothing added) when the GUID is already present.
    bool add(std::shared_ptr<const XTemplate> templ);
    const std::vector<std::shared_ptr<const XTemplate>>& entries() const { return mEntries; }

private:
    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const;
    };

    std::vector<std::shared_ptr<const XTemplate>> mEntries;
    // Indexes into mEntries, so files with many templates stay linear. Names are keyed by
    // their case-folded bytes, whatever bytes they hold.
    std::unordered_map<std::string, std::size_t> mByName;
    std::map<GUID, std::size_t, GuidLess> mByGuid;
};

} // namespace halv::xfile::detail
