#include "xfile/detail/parse_context.h"

#include "base/bytes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>

namespace halv::xfile::detail {

// Defined with the grammar: runs the generated parser over one context.
int runGrammar(ParseContext& context);

namespace {

constexpr std::string_view kIndexColor = "indexColor";
constexpr std::size_t kDataAlignment = 8;
// What the bookkeeping of one entry costs beyond the bytes it names: node or map entry, its
// allocation overhead and the pointers that find it.
constexpr std::uint64_t kEntryOverhead = 64;

static_assert(std::endian::native == std::endian::little,
              "value words are copied into the packed data as they lie in memory");

void appendBytes(std::vector<std::byte>& out, const void* bytes, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, bytes, size);
}

void appendLE(std::vector<std::byte>& out, std::uint64_t value, unsigned size) {
    std::byte bytes[8];
    for (unsigned i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::byte>(value >> (8 * i));
    }
    appendBytes(out, bytes, size);
}

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max()
                                                  : product;
}

// Lays the values of one object out member by member for a template that needs conversion.
class Packer {
public:
    // `words` are the object's values; `strings` stand in for some of them, their positions
    // counted from `firstPosition`.
    Packer(std::span<const std::uint32_t> words, std::span<const StringValue> strings,
           std::size_t firstPosition, std::vector<std::byte>& out)
        : mWords(words)
        , mStrings(strings)
        , mFirstPosition(firstPosition)
        , mOut(out) {}

    ReadFailure packStruct(const XTemplate& templ) {
        const std::size_t base = mMemberOffsets.size();
        mMemberOffsets.resize(base + templ.members.size());
        for (std::size_t index = 0; index < templ.members.size(); ++index) {
            const XTemplateMember& member = templ.members[index];
            mMemberOffsets[base + index] = mOut.size();
            std::uint64_t count = 1;
            for (const ArrayDimension& dimension : member.dimensions) {
                std::uint64_t length = dimension.constant;
                if (length == 0) {
                    if (dimension.name.empty()) {
                        return ReadFailure::kBadArraySize;
                    }
                    if (dimension.sourceMember < 0) {
                        return ReadFailure::kBadDataReference;
                    }
                    const auto source = static_cast<std::size_t>(dimension.sourceMember);
                    length =
                        readCount(*templ.members[source].primitive, mMemberOffsets[base + source]);
                }
                count = saturatingMul(count, length);
            }
            const std::size_t remaining = mWords.size() - mNext;
            if (member.primitive) {
                const PrimitiveType type = *member.primitive;
                if (type == PrimitiveType::kCstring || type == PrimitiveType::kUnicode ||
                    type == PrimitiveType::kUlonglong) {
                    return ReadFailure::kNotDoneYet;
                }
                // Every element takes one value, so a longer array cannot be filled.
                if (count > remaining) {
                    return ReadFailure::kTooFewValues;
                }
                for (std::uint64_t element = 0; element < count; ++element) {
                    const ReadFailure failure = packPrimitive(type);
                    if (failure != ReadFailure::kNone) {
                        return failure;
                    }
                }
            } else if (member.nested && member.nested->hasData) {
                if (count > remaining) {
                    return ReadFailure::kTooFewValues;
                }
                for (std::uint64_t element = 0; element < count; ++element) {
                    const ReadFailure failure = packStruct(*member.nested);
                    if (failure != ReadFailure::kNone) {
                        return failure;
                    }
                }
            }
            if (mOut.size() > std::numeric_limits<std::uint32_t>::max()) {
                return ReadFailure::kTooLarge;
            }
        }
        mMemberOffsets.resize(base);
        return ReadFailure::kNone;
    }

private:
    std::uint64_t readCount(PrimitiveType type, std::size_t offset) const {
        const std::span<const std::byte> out(mOut);
        switch (type) {
        case PrimitiveType::kWord:
        case PrimitiveType::kSword:
            return base::readLE16(out, offset);
        case PrimitiveType::kChar:
        case PrimitiveType::kUchar:
            return std::to_integer<std::uint64_t>(out[offset]);
        default:
            return base::readLE32(out, offset);
        }
    }

    ReadFailure packPrimitive(PrimitiveType type) {
        const std::size_t position = mNext++;
        const bool isString = mNextString < mStrings.size() &&
                              mStrings[mNextString].position - mFirstPosition == position;
        if (isString != (type == PrimitiveType::kString)) {
            return ReadFailure::kStringMismatch;
        }
        const std::uint32_t word = mWords[position];
        switch (type) {
        case PrimitiveType::kString: {
            const std::string_view text = mStrings[mNextString++].text;
            appendBytes(mOut, text.data(), text.size());
            mOut.push_back(std::byte{0});
            break;
        }
        case PrimitiveType::kWord:
        case PrimitiveType::kSword:
            appendLE(mOut, word, 2);
            break;
        case PrimitiveType::kChar:
        case PrimitiveType::kUchar:
            appendLE(mOut, word, 1);
            break;
        case PrimitiveType::kDouble: {
            const double widened = std::bit_cast<float>(word);
            appendLE(mOut, std::bit_cast<std::uint64_t>(widened), 8);
            break;
        }
        default:
            appendLE(mOut, word, 4);
            break;
        }
        return ReadFailure::kNone;
    }

    std::span<const std::uint32_t> mWords;
    std::span<const StringValue> mStrings;
    std::size_t mFirstPosition;
    std::vector<std::byte>& mOut;
    std::size_t mNext = 0;
    std::size_t mNextString = 0;
    // Where each member of the structures being laid out starts, innermost last.
    std::vector<std::size_t> mMemberOffsets;
};

} // namespace

bool ParseContext::GuidLess::operator()(const GUID& a, const GUID& b) const {
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
}

ParseContext::ParseContext(const PreparedFile& file, const TemplateRegistry& global,
                           ParsedFile& out)
    : mBinary(file.binary)
    , mText(file.body)
    , mBinaryTokens(file.body, file.floatBytes)
    , mGlobal(global)
    , mOut(out) {}

ParseContext::~ParseContext() {
    mOut.budget.give(mScratchCharge);
}

bool ParseContext::charge(std::uint64_t bytes) {
    return mOut.budget.take(bytes) || fail(ReadFailure::kOutOfMemory);
}

bool ParseContext::growValues(std::size_t more) {
    const std::size_t needed = mValues.size() + more;
    if (needed <= mValues.capacity()) {
        return true;
    }
    // Doubling where the budget allows it, else just what is needed.
    std::size_t capacity = std::max(needed, mValues.capacity() * 2);
    std::uint64_t bytes = std::uint64_t{capacity - mValues.capacity()} * sizeof(std::uint32_t);
    if (!mOut.budget.take(bytes)) {
        capacity = needed;
        bytes = std::uint64_t{capacity - mValues.capacity()} * sizeof(std::uint32_t);
        if (!charge(bytes)) {
            return false;
        }
    }
    mScratchCharge += bytes;
    mValues.reserve(capacity);
    return true;
}

bool ParseContext::growStrings() {
    if (mStrings.size() < mStrings.capacity()) {
        return true;
    }
    const std::size_t capacity = std::max<std::size_t>(16, mStrings.capacity() * 2);
    const std::uint64_t bytes = std::uint64_t{capacity - mStrings.capacity()} * sizeof(StringValue);
    if (!charge(bytes)) {
        return false;
    }
    mScratchCharge += bytes;
    mStrings.reserve(capacity);
    return true;
}

bool ParseContext::fail(ReadFailure failure) {
    if (mFailure == ReadFailure::kNone) {
        mFailure = failure;
    }
    return false;
}

int ParseContext::lex(SemanticValue& value) {
    const int code = mBinary ? mBinaryTokens.next(value) : mText.next(value);
    if (code == token::kError) {
        fail(ReadFailure::kBadToken);
    }
    return code;
}

void ParseContext::syntaxError() {
    fail(ReadFailure::kSyntax);
}

const std::shared_ptr<const XTemplate>* ParseContext::findTemplate(std::string_view name) const {
    if (const auto* local = mOut.templates.findByName(name)) {
        return local;
    }
    return mGlobal.findByName(name);
}

bool ParseContext::resolveMemberType(std::string_view typeName, XTemplateMember& member) const {
    if (const auto primitive = findPrimitiveType(typeName)) {
        member.primitive = primitive;
        return true;
    }
    if (const auto* templ = findTemplate(typeName)) {
        member.nested = *templ;
        return true;
    }
    return false;
}

bool ParseContext::beginTemplate(const TextRef& name, const GUID& guid) {
    mTemplate = std::make_unique<XTemplate>();
    mTemplate->name = std::string(name.view());
    mTemplate->guid = guid;
    mDimensions.clear();
    return true;
}

bool ParseContext::addMember(const TextRef& type, const TextRef* name) {
    XTemplateMember member;
    if (!resolveMemberType(type.view(), member)) {
        return fail(ReadFailure::kUnknownMemberType);
    }
    if (name != nullptr) {
        member.name = std::string(name->view());
    }
    mTemplate->members.push_back(std::move(member));
    return true;
}

bool ParseContext::addArrayMember(const TextRef& type, const TextRef& name) {
    XTemplateMember member;
    member.name = std::string(name.view());
    member.dimensions = std::move(mDimensions);
    mDimensions.clear();
    if (!resolveMemberType(type.view(), member)) {
        // Published template text once declared an array of the misspelt type "indexColor";
        // such a member is left out instead of failing the template.
        if (type.view() == kIndexColor) {
            return true;
        }
        return fail(ReadFailure::kUnknownMemberType);
    }
    mTemplate->members.push_back(std::move(member));
    return true;
}

bool ParseContext::addConstantDimension(std::uint32_t value) {
    if (value == 0) {
        return fail(ReadFailure::kZeroDimension);
    }
    ArrayDimension dimension;
    dimension.constant = value;
    mDimensions.push_back(std::move(dimension));
    return true;
}

void ParseContext::addNamedDimension(const TextRef& name) {
    ArrayDimension dimension;
    dimension.name = std::string(name.view());
    mDimensions.push_back(std::move(dimension));
}

void ParseContext::setOpenRestriction() {
    mTemplate->restriction = Restriction::kOpen;
}

bool ParseContext::addRestrictionEntry(const TextRef& name, const GUID* guid) {
    const auto* templ = findTemplate(name.view());
    if (templ == nullptr) {
        return fail(ReadFailure::kUnknownRestriction);
    }
    if (guid != nullptr && mOut.templates.findByGuid(*guid) == nullptr &&
        mGlobal.findByGuid(*guid) == nullptr) {
        return fail(ReadFailure::kUnknownRestriction);
    }
    mTemplate->restriction = Restriction::kRestricted;
    mTemplate->allowed.push_back(RestrictionEntry{(*templ)->name, (*templ)->guid});
    return true;
}

void ParseContext::addBinaryRestrictionEntry() {
    mTemplate->restriction = Restriction::kRestricted;
    mTemplate->allowed.push_back(RestrictionEntry{"BINARY", GUID_NULL});
}

bool ParseContext::endTemplate() {
    std::uint64_t bytes = sizeof(XTemplate) + kEntryOverhead * 2 + mTemplate->name.size();
    for (const XTemplateMember& member : mTemplate->members) {
        bytes += sizeof(XTemplateMember) + member.name.size() +
                 member.dimensions.size() * (sizeof(ArrayDimension) + kEntryOverhead);
    }
    bytes += mTemplate->allowed.size() * (sizeof(RestrictionEntry) + kEntryOverhead);
    if (!charge(bytes)) {
        return false;
    }
    finishTemplate(*mTemplate);
    if (mTemplate->depth > kMaxTemplateDepth) {
        return fail(ReadFailure::kNestingTooDeep);
    }
    // A GUID the file already declared keeps its first declaration.
    mOut.templates.add(std::shared_ptr<const XTemplate>(std::move(mTemplate)));
    return true;
}

bool ParseContext::beginObject(const TextRef& templateName, const TextRef& objectName) {
    if (mFrames.size() >= kMaxObjectDepth) {
        return fail(ReadFailure::kNestingTooDeep);
    }
    ObjectFrame frame;
    frame.valueStart = mValues.size();
    frame.stringStart = mStrings.size();
    const bool insideSkipped = !mFrames.empty() && mFrames.back().node == nullptr;
    // An object of an unknown template is read and dropped with everything inside it.
    const auto* templ = insideSkipped ? nullptr : findTemplate(templateName.view());
    if (templ != nullptr) {
        // The node, its name, the pointer its parent keeps (with room to grow) and, for a
        // named object, the entry that finds it by name.
        if (!charge(sizeof(DataNode) + 2 * sizeof(DataNode*) +
                    (objectName.present ? kEntryOverhead + objectName.length : 0))) {
            return false;
        }
        frame.type = templ->get();
        DataNode& node = mOut.nodes.emplace_back();
        node.type = frame.type->guid;
        node.named = objectName.present;
        if (objectName.present) {
            node.name = std::string(objectName.view());
        }
        frame.node = &node;
    }
    mFrames.push_back(frame);
    return true;
}

void ParseContext::setObjectId(const GUID& id) {
    if (mFrames.back().node != nullptr) {
        mFrames.back().node->id = id;
    }
}

bool ParseContext::pushString(const TextRef& text) {
    if (!growStrings() || !growValues(1)) {
        return false;
    }
    mStrings.push_back(StringValue{mValues.size(), text.view()});
    mValues.push_back(0);
    return true;
}

bool ParseContext::pushIntegerList(const ListRef& list) {
    if (!growValues(list.count)) {
        return false;
    }
    const std::span<const std::byte> bytes(list.data, std::size_t{list.count} * 4);
    const std::size_t at = mValues.size();
    mValues.resize(at + list.count);
    for (std::uint32_t i = 0; i < list.count; ++i) {
        mValues[at + i] = base::readLE32(bytes, std::size_t{i} * 4);
    }
    return true;
}

bool ParseContext::pushFloatList(const ListRef& list) {
    if (!growValues(list.count)) {
        return false;
    }
    const unsigned floatBytes = mBinaryTokens.floatBytes();
    const std::span<const std::byte> bytes(list.data, std::size_t{list.count} * floatBytes);
    const std::size_t at = mValues.size();
    mValues.resize(at + list.count);
    for (std::uint32_t i = 0; i < list.count; ++i) {
        const std::size_t offset = std::size_t{i} * floatBytes;
        mValues[at + i] = floatBytes == 8 ? std::bit_cast<std::uint32_t>(static_cast<float>(
                                                base::readLEDouble(bytes, offset)))
                                          : base::readLE32(bytes, offset);
    }
    return true;
}

const DataNode* ParseContext::resolveReference(const TextRef* name, const GUID* id) const {
    if (name == nullptr) {
        const auto found = mById.find(*id);
        return found != mById.end() ? found->second : nullptr;
    }
    const auto found = mByName.find(name->view());
    if (found == mByName.end()) {
        return nullptr;
    }
    if (id == nullptr) {
        return found->second.front();
    }
    for (const DataNode* node : found->second) {
        if (node->id == *id) {
            return node;
        }
    }
    return nullptr;
}

bool ParseContext::addReference(const TextRef* name, const GUID* id) {
    if (name == nullptr && *id == GUID_NULL) {
        return fail(ReadFailure::kNullReference);
    }
    DataNode* parent = mFrames.back().node;
    if (parent == nullptr) {
        return true;
    }
    // Only finished top-level objects can be named; anything else is dropped.
    const DataNode* target = resolveReference(name, id);
    if (target == nullptr) {
        return true;
    }
    if (!charge(sizeof(DataNode) + 2 * sizeof(DataNode*))) {
        return false;
    }
    DataNode& reference = mOut.nodes.emplace_back();
    reference.target = target;
    parent->children.push_back(&reference);
    return true;
}

void ParseContext::indexTopLevel(const DataNode& node) {
    // Depth-first, the object before its children, so the first entry is the first match.
    // References are left out: what they name was indexed with an earlier object.
    if (node.target != nullptr) {
        return;
    }
    if (node.named) {
        mByName[node.name].push_back(&node);
    }
    if (node.id != GUID_NULL) {
        // Ids are not counted with the node: charged here, where the entry is made.
        if (mById.emplace(node.id, &node).second && !charge(kEntryOverhead)) {
            return;
        }
    }
    for (const DataNode* child : node.children) {
        indexTopLevel(*child);
    }
}

ReadFailure ParseContext::packObject(const ObjectFrame& frame) {
    const XTemplate& templ = *frame.type;
    const std::span<const std::uint32_t> words(mValues.data() + frame.valueStart,
                                               mValues.size() - frame.valueStart);
    std::vector<std::byte>& out = mOut.data;
    // The most this object can pack to: eight bytes per value (a DOUBLE), each string's text
    // and zero byte in place of its word. Room for it is counted before anything is written,
    // so the packing itself never reallocates.
    std::uint64_t most = kDataAlignment + std::uint64_t{words.size()} * 8;
    for (std::size_t i = frame.stringStart; i < mStrings.size(); ++i) {
        most += mStrings[i].text.size() + 1;
    }
    const std::uint64_t needed = out.size() + most;
    if (needed > std::numeric_limits<std::uint32_t>::max() + std::uint64_t{kDataAlignment}) {
        return ReadFailure::kTooLarge;
    }
    if (needed > out.capacity()) {
        // Doubling where the budget allows it, else just what is needed.
        std::uint64_t capacity = std::max<std::uint64_t>(needed, out.capacity() * 2);
        if (!mOut.budget.take(capacity - out.capacity())) {
            capacity = needed;
            if (!mOut.budget.take(capacity - out.capacity())) {
                return ReadFailure::kOutOfMemory;
            }
        }
        out.reserve(static_cast<std::size_t>(capacity));
    }
    out.resize((out.size() + kDataAlignment - 1) / kDataAlignment * kDataAlignment);
    const std::size_t start = out.size();
    if (start > std::numeric_limits<std::uint32_t>::max()) {
        return ReadFailure::kTooLarge;
    }

    if (!templ.needsConversion) {
        // Every member is a 4-byte word: the values are the data.
        if (mStrings.size() > frame.stringStart) {
            return ReadFailure::kStringMismatch;
        }
        const std::uint64_t bytes = std::uint64_t{words.size()} * 4;
        if (templ.fixedSize && bytes > templ.fixedBytes) {
            return ReadFailure::kSurplusData;
        }
        if (templ.fixedSize && bytes < templ.fixedBytes) {
            return ReadFailure::kTooFewValues;
        }
        if (bytes > std::numeric_limits<std::uint32_t>::max() - start) {
            return ReadFailure::kTooLarge;
        }
        if (bytes > 0) {
            out.resize(start + bytes);
            std::memcpy(out.data() + start, words.data(), bytes);
        }
    } else {
        // Surplus values are ignored.
        Packer packer(words, std::span<const StringValue>(mStrings).subspan(frame.stringStart),
                      frame.valueStart, out);
        const ReadFailure failure = packer.packStruct(templ);
        if (failure != ReadFailure::kNone) {
            return failure;
        }
        if (out.size() > std::numeric_limits<std::uint32_t>::max()) {
            return ReadFailure::kTooLarge;
        }
    }
    frame.node->dataOffset = static_cast<std::uint32_t>(start);
    frame.node->dataSize = static_cast<std::uint32_t>(out.size() - start);
    return ReadFailure::kNone;
}

bool ParseContext::endObject() {
    const ObjectFrame frame = mFrames.back();
    mFrames.pop_back();
    if (frame.node != nullptr) {
        const ReadFailure failure = packObject(frame);
        if (failure != ReadFailure::kNone) {
            return fail(failure);
        }
        if (!mFrames.empty()) {
            mFrames.back().node->children.push_back(frame.node);
        } else {
            mOut.topLevel.push_back(frame.node);
            indexTopLevel(*frame.node);
            if (mFailure != ReadFailure::kNone) {
                return false;
            }
        }
    }
    mValues.resize(frame.valueStart);
    mStrings.resize(frame.stringStart);
    return true;
}

ReadFailure parseFile(const PreparedFile& file, const TemplateRegistry& global, ParsedFile* out) {
    try {
        ParseContext context(file, global, *out);
        // About one value per eight bytes of text saves most of the early regrowth.
        if (!context.growValues(file.body.size() / 8)) {
            return ReadFailure::kOutOfMemory;
        }
        const int result = runGrammar(context);
        if (result == 0) {
            return ReadFailure::kNone;
        }
        if (result == 2) {
            return ReadFailure::kOutOfMemory;
        }
        return context.failure() != ReadFailure::kNone ? context.failure() : ReadFailure::kSyntax;
    } catch (const std::bad_alloc&) {
        return ReadFailure::kOutOfMemory;
    }
}

} // namespace halv::xfile::detail
