// Token kinds and the layout of the compact token stream.
#ifndef LODVANE_ENGINE_TOKEN_H
#define LODVANE_ENGINE_TOKEN_H

#include <cstddef>
#include <cstdint>

// The numbers are fixed: the operator precedence table is indexed by them and
// the parser tests ranges of them (type words, statement words, directives).
enum TokenKind : uint8_t {
    TK_NONE = 0,
    TK_COMMA,              // ,
    TK_ASSIGN,             // =
    TK_ADD_ASSIGN,         // +=
    TK_SUBTRACT_ASSIGN,    // -=
    TK_MULTIPLY_ASSIGN,    // *=
    TK_DIVIDE_ASSIGN,      // /=
    TK_MODULUS_ASSIGN,     // %=
    TK_SHIFT_LEFT_ASSIGN,  // <<=
    TK_SHIFT_RIGHT_ASSIGN, // >>=
    TK_AND_ASSIGN,         // &=
    TK_OR_ASSIGN,          // |=
    TK_XOR_ASSIGN,         // ^=
    TK_QUESTION_MARK,      // ?
    TK_COLON,              // :
    TK_LOGICAL_OR,         // ||
    TK_LOGICAL_AND,        // &&
    TK_BITWISE_OR,         // |
    TK_BITWISE_XOR,        // ^
    TK_AMPERSAND,          // &
    TK_EQUAL,              // ==
    TK_NOT_EQUAL,          // !=
    TK_LESS_THAN,          // <
    TK_GREATER_THAN,       // >
    TK_LESS_EQUAL,         // <=
    TK_GREATER_EQUAL,      // >=
    TK_SHIFT_LEFT,         // <<
    TK_SHIFT_RIGHT,        // >>
    TK_PLUS,               // +
    TK_MINUS,              // -
    TK_ASTERISK,           // *
    TK_SLASH,              // /
    TK_MODULUS,            // %
    TK_INCREMENT,          // ++
    TK_DECREMENT,          // --
    TK_LOGICAL_NOT,        // !
    TK_BITWISE_NOT,        // ~
    TK_SIZEOF,             // sizeof
    TK_CAST,               // never scanned; the expression evaluator's cast operator
    TK_LEFT_SQUARE,        // [
    TK_RIGHT_SQUARE,       // ]
    TK_DOT,                // .
    TK_ARROW,              // ->
    TK_OPEN_BRACKET,       // (
    TK_CLOSE_BRACKET,      // )
    TK_IDENTIFIER,         // payload: address of the shared name
    TK_INT_CONSTANT,       // payload: signed 32-bit value
    TK_FP_CONSTANT,        // payload: IEEE double
    TK_STRING_CONSTANT,    // payload: address of the shared text
    TK_CHAR_CONSTANT,      // payload: one byte
    TK_SEMICOLON,          // ;
    TK_ELLIPSIS,           // ...
    TK_LEFT_BRACE,         // {
    TK_RIGHT_BRACE,        // }
    TK_INT,                // first type word
    TK_CHAR,
    TK_FLOAT,
    TK_DOUBLE,
    TK_VOID,
    TK_ENUM,
    TK_LONG,
    TK_SIGNED,
    TK_SHORT,
    TK_STATIC,
    TK_AUTO,
    TK_REGISTER,
    TK_EXTERN,
    TK_STRUCT,
    TK_UNION,
    TK_UNSIGNED,
    TK_TYPEDEF,            // last type word
    TK_CONTINUE,           // first statement word
    TK_DO,
    TK_ELSE,
    TK_FOR,
    TK_GOTO,
    TK_IF,
    TK_WHILE,
    TK_BREAK,
    TK_SWITCH,
    TK_CASE,
    TK_DEFAULT,
    TK_RETURN,             // last statement word
    TK_HASH_DEFINE,
    TK_HASH_INCLUDE,
    TK_HASH_IF,            // first conditional directive
    TK_HASH_IFDEF,
    TK_HASH_IFNDEF,
    TK_HASH_ELSE,
    TK_HASH_ENDIF,         // last conditional directive
    TK_NEW,
    TK_DELETE,
    TK_OPEN_MACRO_BRACKET, // ( directly after the name in #define NAME(
    TK_EOF,
    TK_END_OF_LINE,
    TK_END_OF_FUNCTION,    // appended to copied bodies
    TK_UNSIGNED_CONSTANT,  // payload: unsigned 32-bit value (a u suffix, or too big for int)
    TK_COUNT
};

static_assert(TK_IDENTIFIER == 45 && TK_INT == 54 && TK_TYPEDEF == 70 && TK_RETURN == 82,
              "token numbers are part of the stream format");
static_assert(TK_HASH_DEFINE == 83 && TK_HASH_ENDIF == 89 && TK_END_OF_FUNCTION == 95,
              "token numbers are part of the stream format");

// A record is the token byte, the column byte, then this many payload bytes.
// Addresses are stored as 8 bytes whatever the host, so the layout is fixed.
constexpr size_t tokenPayloadSize(uint8_t kind)
{
    switch (kind) {
    case TK_IDENTIFIER:
    case TK_STRING_CONSTANT:
    case TK_FP_CONSTANT:
        return 8;
    case TK_INT_CONSTANT:
    case TK_UNSIGNED_CONSTANT:
        return 4;
    case TK_CHAR_CONSTANT:
        return 1;
    default:
        return 0;
    }
}

constexpr size_t kTokenHeaderBytes = 2;
constexpr size_t kTokenMaxRecordBytes = kTokenHeaderBytes + 8;

inline bool tokenIsConstant(TokenKind kind)
{
    return (kind >= TK_INT_CONSTANT && kind <= TK_CHAR_CONSTANT) || kind == TK_UNSIGNED_CONSTANT;
}

// The whole record of an ordinary token, by kind; 0 for the kinds the reader
// treats apart: conditional directives, the ends of lines, streams and
// bodies, and numbers no scanner makes.
struct TokenRecordSizes {
    uint8_t bytes[256];
};

constexpr TokenRecordSizes tokenRecordSizes()
{
    TokenRecordSizes sizes{};
    for (int kind = 0; kind < TK_COUNT; kind++) {
        bool apart = (kind >= TK_HASH_IF && kind <= TK_HASH_ENDIF) || kind == TK_EOF || kind == TK_END_OF_LINE ||
                     kind == TK_END_OF_FUNCTION;
        sizes.bytes[kind] = apart ? 0 : uint8_t(kTokenHeaderBytes + tokenPayloadSize(uint8_t(kind)));
    }
    return sizes;
}

inline constexpr TokenRecordSizes kTokenRecordSizes = tokenRecordSizes();

#endif
