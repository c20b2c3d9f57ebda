// One parse of a .x file: the tokenizer state, the template being declared, the stack of open
// data objects and their values, and the tree of finished objects. Every parse owns its
// context, so several may run at once.
#pragma once

#include "xfile/detail/file_image.h"
#include "xfile/detail/memory_budget.h"
#include "xfile/detail/read_failure.h"
#include "xfile/detail/templates.h"
#include "xfile/detail/tokenizer.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct ID3DXFileEnumObject;

namespace halv::xfile::detail {

// Open data objects may nest this deep; templates may contain templates this deep.
inline constexpr std::size_t kMaxObjectDepth = 128;
inline constexpr unsigned kMaxTemplateDepth = 64;

struct DataNode {
    GUID type{};
    std::string name;
    bool named = false;
    GUID id{};
    std::uint32_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::vector<const DataNode*> children;
    // Set for a reference: every question about it is answered by the object it names.
    const DataNode* target = nullptr;

    const DataNode& resolved() const { return target != nullptr ? *target : *this; }
};

// What a successful parse produces.
struct ParsedFile {
    TemplateRegistry templates; // declared by the file itself
    std::deque<DataNode> nodes; // every object and reference; addresses are stable
    std::vector<const DataNode*> topLevel;
    std::vector<std::byte> data; // packed data of all objects
    // What the load may still allocate; while the file lives, what it holds is counted.
    MemoryBudget budget;

    std::span<const std::byte> dataOf(const DataNode& node) const {
        const DataNode& object = node.resolved();
        return std::span<const std::byte>(data).subspan(object.dataOffset, object.dataSize);
    }
};

// Parses the body of a prepared file. Templates are looked up in the file's own declarations
// first, then in `global`. What the parse builds is counted against out->budget, and the parse
// fails with kOutOfMemory when it would pass it. On failure `*out` is left in an unspecified
// state.
ReadFailure parseFile(const PreparedFile& file, const TemplateRegistry& global, ParsedFile* out);

// The budget of the load that parsed `file`, with what the parsed file holds counted; an
// unlimited one for an enum object this reader did not make.
MemoryBudget remainingBudget(ID3DXFileEnumObject* file);
// The objects and references `file` holds; 0 for an enum object this reader did not make.
std::uint64_t objectCount(ID3DXFileEnumObject* file);

// A string among an object's values: the value word at `position` stands in for it.
struct StringValue {
    std::size_t position;
    std::string_view text;
};

// The grammar's view of a parse. Actions that can fail return false after recording why.
class ParseContext {
public:
    ParseContext(const PreparedFile& file, const TemplateRegistry& global, ParsedFile& out);
    ~ParseContext();
    ParseContext(const ParseContext&) = delete;
    ParseContext& operator=(const ParseContext&) = delete;

    int lex(SemanticValue& value);
    void syntaxError();
    void outOfMemory() { fail(ReadFailure::kOutOfMemory); }
    ReadFailure failure() const { return mFailure; }

    bool beginTemplate(const TextRef& name, const GUID& guid);
    bool addMember(const TextRef& type, const TextRef* name);
    bool addArrayMember(const TextRef& type, const TextRef& name);
    bool addConstantDimension(std::uint32_t value);
    void addNamedDimension(const TextRef& name);
    void setOpenRestriction();
    bool addRestrictionEntry(const TextRef& name, const GUID* guid);
    void addBinaryRestrictionEntry();
    bool endTemplate();

    bool beginObject(const TextRef& templateName, const TextRef& objectName);
    void setObjectId(const GUID& id);
    // Room for `more` values beyond the current ones, counted while the parse runs; false
    // after recording kOutOfMemory.
    bool growValues(std::size_t more);
    bool pushWord(std::uint32_t word) {
        if (mValues.size() == mValues.capacity() && !growValues(1)) {
            return false;
        }
        mValues.push_back(word);
        return true;
    }
    bool pushString(const TextRef& text);
    bool pushIntegerList(const ListRef& list);
    bool pushFloatList(const ListRef& list);
    bool addReference(const TextRef* name, const GUID* id);
    bool endObject();

private:
    struct ObjectFrame {
        DataNode* node = nullptr; // null while inside an object of an unknown template
        const XTemplate* type = nullptr;
        std::size_t valueStart = 0;
        std::size_t stringStart = 0;
    };
    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const;
    };

    bool fail(ReadFailure failure);
    // Counts `bytes` against the budget; false after recording kOutOfMemory.
    bool charge(std::uint64_t bytes);
    bool growStrings();
    const std::shared_ptr<const XTemplate>* findTemplate(std::string_view name) const;
    bool resolveMemberType(std::string_view typeName, XTemplateMember& member) const;
    ReadFailure packObject(const ObjectFrame& frame);
    void indexTopLevel(const DataNode& node);
    const DataNode* resolveReference(const TextRef* name, const GUID* id) const;

    bool mBinary;
    TextTokenizer mText;
    BinaryTokenizer mBinaryTokens;
    const TemplateRegistry& mGlobal;
    ParsedFile& mOut;
    ReadFailure mFailure = ReadFailure::kNone;

    std::unique_ptr<XTemplate> mTemplate; // being declared
    std::vector<ArrayDimension> mDimensions;

    std::vector<ObjectFrame> mFrames;
    std::vector<std::uint32_t> mValues;
    std::vector<StringValue> mStrings;
    std::uint64_t mScratchCharge = 0; // the two above, given back when the parse ends

    // Finished objects by name (in search order) and by id, for references.
    std::map<std::string, std::vector<const DataNode*>, std::less<>> mByName;
    std::map<GUID, const DataNode*, GuidLess> mById;
};

} // namespace halv::xfile::detail
