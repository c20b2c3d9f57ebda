#include "xfile/detail/templates.h"

#include "base/checked_math.h"
#include "base/text_conversion.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace halv::xfile::detail {
namespace {

struct PrimitiveName {
    std::string_view name;
    PrimitiveType type;
};

constexpr std::array<PrimitiveName, 13> kPrimitiveNames = {{
    {"WORD", PrimitiveType::kWord},
    {"DWORD", PrimitiveType::kDword},
    {"FLOAT", PrimitiveType::kFloat},
    {"DOUBLE", PrimitiveType::kDouble},
    {"CHAR", PrimitiveType::kChar},
    {"UCHAR", PrimitiveType::kUchar},
    {"BYTE", PrimitiveType::kUchar},
    {"SWORD", PrimitiveType::kSword},
    {"SDWORD", PrimitiveType::kSdword},
    {"STRING", PrimitiveType::kString},
    {"CSTRING", PrimitiveType::kCstring},
    {"UNICODE", PrimitiveType::kUnicode},
    {"ULONGLONG", PrimitiveType::kUlonglong},
}};

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return base::checkedMul(a, b, &product) ? product : kHugeSize;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return base::checkedAdd(a, b, &sum) ? sum : kHugeSize;
}

} // namespace

std::optional<PrimitiveType> findPrimitiveType(std::string_view name) {
    for (const PrimitiveName& entry : kPrimitiveNames) {
        if (base::equalsIgnoreCase(entry.name, name)) {
            return entry.type;
        }
    }
    return std::nullopt;
}

unsigned primitiveElementSize(PrimitiveType type) {
    switch (type) {
    case PrimitiveType::kWord:
    case PrimitiveType::kSword:
        return 2;
    case PrimitiveType::kChar:
    case PrimitiveType::kUchar:
        return 1;
    case PrimitiveType::kDouble:
    case PrimitiveType::kUlonglong:
        return 8;
    case PrimitiveType::kDword:
    case PrimitiveType::kFloat:
    case PrimitiveType::kSdword:
    case PrimitiveType::kString:
    case PrimitiveType::kCstring:
    case PrimitiveType::kUnicode:
        return 4;
    }
    return 4;
}

bool isCountType(PrimitiveType type) {
    switch (type) {
    case PrimitiveType::kWord:
    case PrimitiveType::kSword:
    case PrimitiveType::kDword:
    case PrimitiveType::kSdword:
    case PrimitiveType::kChar:
    case PrimitiveType::kUchar:
        return true;
    default:
        return false;
    }
}

void finishTemplate(XTemplate& templ) {
    templ.needsConversion = false;
    templ.fixedSize = true;
    templ.fixedBytes = 0;
    templ.hasData = false;
    templ.depth = 1;
    for (std::size_t index = 0; index < templ.members.size(); ++index) {
        XTemplateMember& member = templ.members[index];
        std::uint64_t count = 1;
        for (ArrayDimension& dimension : member.dimensions) {
            if (dimension.constant != 0) {
                count = saturatingMul(count, dimension.constant);
                continue;
            }
            templ.fixedSize = false;
            dimension.sourceMember = -1;
            // The length comes from an earlier, single member of this same template.
            for (std::size_t earlier = 0; earlier < index; ++earlier) {
                const XTemplateMember& candidate = templ.members[earlier];
                if (!base::equalsIgnoreCase(candidate.name, dimension.name)) {
                    continue;
                }
                if (candidate.primitive && isCountType(*candidate.primitive) &&
                    candidate.dimensions.empty()) {
                    dimension.sourceMember = static_cast<int>(earlier);
                }
                break;
            }
        }
        std::uint64_t elementBytes = 0;
        if (member.primitive) {
            const unsigned size = primitiveElementSize(*member.primitive);
            if (size != 4 || *member.primitive == PrimitiveType::kString) {
                templ.needsConversion = true;
            }
            templ.hasData = true;
            elementBytes = size;
        } else if (member.nested) {
            const XTemplate& nested = *member.nested;
            templ.needsConversion = templ.needsConversion || nested.needsConversion;
            templ.fixedSize = templ.fixedSize && nested.fixedSize;
            templ.hasData = templ.hasData || nested.hasData;
            templ.depth = std::max(templ.depth, nested.depth + 1);
            elementBytes = nested.fixedBytes;
        }
        templ.fixedBytes = saturatingAdd(templ.fixedBytes, saturatingMul(count, elementBytes));
    }
}

bool TemplateRegistry::GuidLess::operator()(const GUID& a, const GUID& b) const {
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
}

const std::shared_ptr<const XTemplate>* TemplateRegistry::findByName(std::string_view name) const {
    const auto found = mByName.find(base::foldCase(name));
    return found != mByName.end() ? &mEntries[found->second] : nullptr;
}

const std::shared_ptr<const XTemplate>* TemplateRegistry::findByGuid(const GUID& guid) const {
    const auto found = mByGuid.find(guid);
    return found != mByGuid.end() ? &mEntries[found->second] : nullptr;
}

bool TemplateRegistry::add(std::shared_ptr<const XTemplate> templ) {
    if (mByGuid.find(templ->guid) != mByGuid.end()) {
        return false;
    }
    // Stored before it is indexed, so an index never points past the list.
    const std::size_t index = mEntries.size();
    mEntries.push_back(std::move(templ));
    const XTemplate& added = *mEntries.back();
    mByGuid.emplace(added.guid, index);
    // The first template of a name keeps it.
    mByName.emplace(base::foldCase(added.name), index);
    return true;
}

} // namespace halv::xfile::detail
