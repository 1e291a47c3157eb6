#include "platform/cmd_quote.h"

namespace qmr {
namespace {

// Builds the quoted word. Quotes open before a byte that needs them and close
// before one that must stand outside, and every '%' is followed by a quote.
class quoted_word {
 public:
  void inside(const text& bytes) {
    if (!open_)
      word_ += '"';
    open_ = true;
    after_percent_ = false;
    word_ += bytes;
  }

  void outside(const text& bytes) {
    close();
    word_ += bytes;
  }

  void percent() {
    outside("%");
    after_percent_ = true;
  }

  text finish() {
    close();
    return word_.empty() ? "\"\"" : word_;
  }

 private:
  void close() {
    if (open_)
      word_ += '"';
    open_ = false;
    // Right after a '%' an empty pair of quotes stands in for the quote that
    // would have opened there.
    if (after_percent_)
      word_ += "\"\"";
    after_percent_ = false;
  }

  text word_;
  bool open_ = false;
  bool after_percent_ = false;
};

}  // namespace

text quote_for_cmd(const text& argument) {
  quoted_word word;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    const char c = argument[i];
    if (c == '%') {
      word.percent();
    } else if (c == '\\') {
      std::size_t end = argument.find_first_not_of('\\', i);
      if (end == text::npos)
        end = argument.size();
      const text run = argument.substr(i, end - i);
      // A run that ends the argument or comes before a '%' would meet a closing quote.
      if (end == argument.size() || argument[end] == '%') {
        word.outside(run);
      } else {
        word.inside(run);
      }
      i = end - 1;
    } else if (c == '"') {
      word.outside("\"\"");
    } else {
      word.inside(text(1, c));
    }
  }
  return word.finish();
}

}  // namespace qmr
