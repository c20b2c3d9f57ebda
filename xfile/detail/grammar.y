// Grammar of the .x format, shared by the text and the binary encoding (both tokenizers hand
// over the binary token codes). Any token the tables do not allow ends the parse: there is no
// error recovery. The actions build templates and objects in the ParseContext.
%require "3.8"
%define api.pure full
%define api.prefix {halvx}
%define api.value.type {halv::xfile::detail::SemanticValue}
%param {halv::xfile::detail::ParseContext& context}

%code requires {
#include "xfile/detail/parse_context.h"
}

%code {
namespace {

int halvxlex(HALVXSTYPE* value, halv::xfile::detail::ParseContext& context) {
    return context.lex(*value);
}

void halvxerror(halv::xfile::detail::ParseContext& context, const char* message) {
    (void)message;
    context.syntaxError();
}

} // namespace
}

%token XT_NAME 1 XT_STRING 2 XT_INTEGER 3 XT_FLOAT 4 XT_GUID 5 XT_INTEGER_LIST 6
%token XT_FLOAT_LIST 7
%token XT_OBRACE 10 XT_CBRACE 11 XT_OBRACKET 14 XT_CBRACKET 15 XT_DOT 18 XT_COMMA 19
%token XT_SEMICOLON 20
%token XT_TEMPLATE 31 XT_KW_WORD 40 XT_KW_DWORD 41 XT_KW_FLOAT 42 XT_KW_DOUBLE 43
%token XT_KW_CHAR 44 XT_KW_UCHAR 45 XT_KW_SWORD 46 XT_KW_SDWORD 47 XT_KW_STRING 49
%token XT_KW_UNICODE 50 XT_KW_CSTRING 51 XT_ARRAY 52 XT_KW_ULONGLONG 53 XT_KW_BINARY 54

%start file

%%

file
    : %empty
    | file item
    ;

item
    : template_declaration
    | data_object
    ;

/* Templates */

template_declaration
    : XT_TEMPLATE XT_NAME XT_OBRACE XT_GUID
        { if (!context.beginTemplate($2.text, $4.guid)) { YYABORT; } }
      template_body XT_CBRACE
        { if (!context.endTemplate()) { YYABORT; } }
    ;

template_body
    : members
    | members restriction
    | restriction
    ;

members
    : member
    | members member
    ;

member
    : member_type XT_SEMICOLON
        { if (!context.addMember($1.text, nullptr)) { YYABORT; } }
    | member_type XT_NAME XT_SEMICOLON
        { if (!context.addMember($1.text, &$2.text)) { YYABORT; } }
    | XT_ARRAY member_type XT_NAME dimensions XT_SEMICOLON
        { if (!context.addArrayMember($2.text, $3.text)) { YYABORT; } }
    ;

/* Every alternative passes its text on (the default action): keywords carry theirs too. */
member_type
    : XT_NAME
    | XT_KW_WORD
    | XT_KW_DWORD
    | XT_KW_FLOAT
    | XT_KW_DOUBLE
    | XT_KW_CHAR
    | XT_KW_UCHAR
    | XT_KW_SWORD
    | XT_KW_SDWORD
    | XT_KW_STRING
    | XT_KW_UNICODE
    | XT_KW_CSTRING
    | XT_KW_ULONGLONG
    | XT_KW_BINARY
    ;

dimensions
    : dimension
    | dimensions dimension
    ;

dimension
    : XT_OBRACKET XT_INTEGER XT_CBRACKET
        { if (!context.addConstantDimension($2.word)) { YYABORT; } }
    | XT_OBRACKET XT_NAME XT_CBRACKET
        { context.addNamedDimension($2.text); }
    ;

restriction
    : XT_OBRACKET XT_DOT XT_DOT XT_DOT XT_CBRACKET
        { context.setOpenRestriction(); }
    | XT_OBRACKET restriction_entries XT_CBRACKET
    | XT_OBRACKET restriction_entries XT_COMMA XT_CBRACKET
    ;

/* Text separates entries with commas; binary writers may leave them out. */
restriction_entries
    : restriction_entry
    | restriction_entries XT_COMMA restriction_entry
    | restriction_entries restriction_entry
    ;

restriction_entry
    : XT_NAME
        { if (!context.addRestrictionEntry($1.text, nullptr)) { YYABORT; } }
    | XT_NAME XT_GUID
        { if (!context.addRestrictionEntry($1.text, &$2.guid)) { YYABORT; } }
    | XT_KW_BINARY
        { context.addBinaryRestrictionEntry(); }
    ;

/* Data objects */

data_object
    : XT_NAME optional_name XT_OBRACE
        { if (!context.beginObject($1.text, $2.text)) { YYABORT; } }
      optional_id data_parts XT_CBRACE
        { if (!context.endObject()) { YYABORT; } }
    ;

optional_name
    : %empty
        { $$ = halv::xfile::detail::SemanticValue{}; }
    | XT_NAME
    ;

optional_id
    : %empty
    | XT_GUID
        { context.setObjectId($1.guid); }
    ;

data_parts
    : %empty
    | data_parts data_part
    ;

/* Every integer, float or string is followed by one or more semicolons with at most one comma
   after them, or by a single comma. The separator forms are spelt out per value kind rather
   than as a separator rule: one reduction less per value, and values are most of a file. */
data_part
    : data_object
    | reference
    | XT_INTEGER XT_COMMA
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_INTEGER semicolons
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_INTEGER semicolons XT_COMMA
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_FLOAT XT_COMMA
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_FLOAT semicolons
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_FLOAT semicolons XT_COMMA
        { if (!context.pushWord($1.word)) { YYABORT; } }
    | XT_STRING XT_COMMA
        { if (!context.pushString($1.text)) { YYABORT; } }
    | XT_STRING semicolons
        { if (!context.pushString($1.text)) { YYABORT; } }
    | XT_STRING semicolons XT_COMMA
        { if (!context.pushString($1.text)) { YYABORT; } }
    | XT_INTEGER_LIST
        { if (!context.pushIntegerList($1.list)) { YYABORT; } }
    | XT_FLOAT_LIST
        { if (!context.pushFloatList($1.list)) { YYABORT; } }
    ;

semicolons
    : XT_SEMICOLON
    | semicolons XT_SEMICOLON
    ;

reference
    : XT_OBRACE XT_NAME XT_CBRACE
        { if (!context.addReference(&$2.text, nullptr)) { YYABORT; } }
    | XT_OBRACE XT_GUID XT_CBRACE
        { if (!context.addReference(nullptr, &$2.guid)) { YYABORT; } }
    | XT_OBRACE XT_NAME XT_GUID XT_CBRACE
        { if (!context.addReference(&$2.text, &$3.guid)) { YYABORT; } }
    ;

%%

namespace halv::xfile::detail {

static_assert(XT_NAME == token::kName && XT_GUID == token::kGuid &&
              XT_FLOAT_LIST == token::kFloatList && XT_SEMICOLON == token::kSemicolon &&
              XT_TEMPLATE == token::kTemplate && XT_KW_STRING == token::kLpstr &&
              XT_KW_BINARY == token::kBinary);

int runGrammar(ParseContext& context) {
    return halvxparse(context);
}

} // namespace halv::xfile::detail
