// A web filter or a captive portal answers a file's address with its own page and status
// 200. Such a page must never take a file's place: an emptied list would be imported as if
// the maker had sent it.
#pragma once

#include <string>
#include <string_view>

namespace velmorin {

class BlockPageCheck {
 public:
  // `content_type` as the response gave it; `target` the destination path. A destination that
  // is itself a page (".htm", ".html") is never judged.
  BlockPageCheck(std::string_view content_type, std::string_view target);

  // Looks at the next bytes of the body as the file will hold them; true once they show an
  // HTML document labelled text/html. Both are needed, so that a server that merely labels a
  // list text/html still serves it.
  bool Look(std::string_view bytes);

 private:
  bool deciding_;     // the label says a page and the start is not yet known
  std::string lead_;  // the first bytes, until they decide
};

}  // namespace velmorin
