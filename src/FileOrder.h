// The order a file manager shows a folder in: the collation of the user's locale (accents and
// case beside their letter, "Ça" next to "Ca"), with runs of digits compared by value ("2" before
// "10"). Copies share one collator; use one for a whole sort. Main thread.
#pragma once

#include <memory>
#include <string>

namespace mirvo {

class FileOrder {
  public:
    // The locale is LC_ALL, LC_COLLATE or LANG from the environment, the first one set; the
    // common root order where none is, or where it names no locale the collator knows.
    FileOrder();
    ~FileOrder();

    // A strict order on UTF-8 names: names the collation holds equal (or that are not valid
    // UTF-8) are ordered by their bytes.
    bool operator()(const std::string& a, const std::string& b) const;

  private:
    class Collation;
    std::shared_ptr<const Collation> mCollation;
};

} // namespace mirvo
