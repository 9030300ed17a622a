#include "lisp/reader.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "lisp/lisp_error.h"

namespace corvane::lisp {

namespace {

bool isDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
         c == '(' || c == ')' || c == '\'' || c == '"' || c == ';';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// [+-]? (digits [. digits*] | . digits) ([eE] [+-]? digits)?  The result
// says whether the token is a number at all and whether it is an integer.
struct NumberShape {
  bool number = false;
  bool integer = false;
};

// Moves I past an optional sign at TOKEN[I].
void skipSign(std::string_view token, std::size_t& i) {
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
    ++i;
  }
}

// Moves I past a run of decimal digits; how many there were.
std::size_t skipDigits(std::string_view token, std::size_t& i) {
  const std::size_t start = i;
  while (i < token.size() && isDigit(token[i])) {
    ++i;
  }
  return i - start;
}

NumberShape numberShape(std::string_view token) {
  std::size_t i = 0;
  skipSign(token, i);
  std::size_t digits = skipDigits(token, i);
  bool integer = true;
  if (i < token.size() && token[i] == '.') {
    integer = false;
    ++i;
    digits += skipDigits(token, i);
  }
  if (digits == 0) {
    return {};
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    integer = false;
    ++i;
    skipSign(token, i);
    if (skipDigits(token, i) == 0) {
      return {};
    }
  }
  if (i != token.size()) {
    return {};
  }
  return {true, integer};
}

std::optional<Value> parseNumber(std::string_view token) {
  NumberShape shape = numberShape(token);
  if (!shape.number) {
    return std::nullopt;
  }
  std::string_view digits = token;
  if (digits[0] == '+') {
    digits.remove_prefix(1);
  }
  if (shape.integer) {
    std::int64_t v = 0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (result.ec == std::errc() && v >= std::numeric_limits<std::int32_t>::min() &&
        v <= std::numeric_limits<std::int32_t>::max()) {
      return Value::integer(static_cast<std::int32_t>(v));
    }
    // Too big for an integer: the host reads it as a real.
  }
  double d = 0;
  auto result = std::from_chars(digits.data(), digits.data() + digits.size(), d);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
    throw LispError("number out of range on input: " + std::string(token));
  }
  return Value::real(d);
}

class Reader {
public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::vector<Value> readAll() {
    std::vector<Value> out;
    for (;;) {
      skipBlank();
      if (pos_ >= text_.size()) {
        return out;
      }
      if (text_[pos_] == ')') {
        throw LispError("extra right paren on input");
      }
      out.push_back(readExpression(0));
    }
  }

  bool incomplete() const { return incomplete_; }

private:
  [[noreturn]] void failAtEnd(const char* message) {
    incomplete_ = true;
    throw LispError(message);
  }

  void skipBlank() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == ';') {
        while (pos_ < text_.size() && text_[pos_] != '\n') {
          ++pos_;
        }
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else {
        return;
      }
    }
  }

  // Reads one expression; the caller has skipped blanks and checked that
  // input remains and that it is not ')'.
  Value readExpression(int depth) {
    if (depth >= kMaxReadDepth) {
      throw LispError("list nested too deeply on input");
    }
    char c = text_[pos_];
    if (c == '(') {
      ++pos_;
      return readListTail(depth + 1);
    }
    if (c == '\'') {
      ++pos_;
      skipBlank();
      if (pos_ >= text_.size()) {
        failAtEnd("malformed list on input");
      }
      if (text_[pos_] == ')') {
        throw LispError("malformed list on input");
      }
      Value quoted = readExpression(depth + 1);
      return Value::cons(Value::symbol("QUOTE"), Value::cons(std::move(quoted), Value()));
    }
    if (c == '"') {
      ++pos_;
      return readString();
    }
    std::string_view token = readToken();
    if (token == ".") {
      throw LispError("malformed list on input");
    }
    if (std::optional<Value> number = parseNumber(token)) {
      return *number;
    }
    return Value::symbol(token);
  }

  std::string_view readToken() {
    std::size_t start = pos_;
    while (pos_ < text_.size() && !isDelimiter(text_[pos_])) {
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }

  // After '(': items up to ')', with an optional ". tail" before it.
  Value readListTail(int depth) {
    ListBuilder items;
    for (;;) {
      skipBlank();
      if (pos_ >= text_.size()) {
        failAtEnd("malformed list on input");
      }
      if (text_[pos_] == ')') {
        ++pos_;
        return items.build();
      }
      if (isDotToken()) {
        if (items.empty()) {
          throw LispError("malformed list on input");
        }
        ++pos_;
        skipBlank();
        if (pos_ >= text_.size()) {
          failAtEnd("malformed list on input");
        }
        if (text_[pos_] == ')') {
          throw LispError("malformed list on input");
        }
        items.setTail(readExpression(depth));
        skipBlank();
        if (pos_ >= text_.size()) {
          failAtEnd("malformed list on input");
        }
        if (text_[pos_] != ')') {
          throw LispError("malformed list on input");
        }
        ++pos_;
        return items.build();
      }
      items.append(readExpression(depth));
    }
  }

  bool isDotToken() const {
    return text_[pos_] == '.' && (pos_ + 1 >= text_.size() || isDelimiter(text_[pos_ + 1]));
  }

  // After the opening quote: the text up to the closing quote, escapes
  // decoded.
  Value readString() {
    std::string out;
    for (;;) {
      if (pos_ >= text_.size()) {
        failAtEnd("malformed string on input");
      }
      char c = text_[pos_++];
      if (c == '"') {
        return Value::string(std::move(out));
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) {
        failAtEnd("malformed string on input");
      }
      char e = text_[pos_++];
      switch (e) {
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'e':
        out += '\x1b';
        break;
      default:
        if (e >= '0' && e <= '7') {
          int code = e - '0';
          for (int n = 1; n < 3 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7';
               ++n) {
            code = code * 8 + (text_[pos_++] - '0');
          }
          if (code > 255) {
            throw LispError("malformed string on input");
          }
          out += static_cast<char>(code);
        } else {
          // \" \\ and any other escaped character stand for themselves.
          out += e;
        }
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool incomplete_ = false;
};

} // namespace

std::vector<Value> readAll(std::string_view text) { return Reader(text).readAll(); }

bool needsMoreInput(std::string_view text) {
  Reader reader(text);
  try {
    reader.readAll();
  } catch (const LispError&) {
    return reader.incomplete();
  }
  return false;
}

} // namespace corvane::lisp
