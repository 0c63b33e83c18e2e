// FileOrder on ICU's collator, set to compare numbers by value.
#include "src/FileOrder.h"

#include <cstdlib>
#include <string_view>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

namespace mirvo {

namespace {

std::string collationLocale()
{
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return value;
        }
    }
    return {};
}

} // namespace

class FileOrder::Collation {
  public:
    Collation()
    {
        const std::string name = collationLocale();
        // "C" and "POSIX" ask for no language in particular: the root order serves them.
        const icu::Locale locale = name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0
                                       ? icu::Locale::getRoot()
                                       : icu::Locale::createCanonical(name.c_str());
        UErrorCode status = U_ZERO_ERROR;
        mCollator.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !mCollator) {
            status = U_ZERO_ERROR;
            mCollator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        if (mCollator) {
            status = U_ZERO_ERROR;
            mCollator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        }
    }

    // -1, 0 or 1; 0 also where the collator could not be made.
    int compare(const std::string& a, const std::string& b) const
    {
        if (!mCollator) {
            return 0;
        }
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result =
            mCollator->compareUTF8(icu::StringPiece(a.data(), int32_t(a.size())),
                                   icu::StringPiece(b.data(), int32_t(b.size())), status);
        if (U_FAILURE(status)) {
            return 0;
        }
        return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
    }

  private:
    std::unique_ptr<icu::Collator> mCollator;
};

FileOrder::FileOrder() : mCollation(std::make_shared<const Collation>())
{
}

FileOrder::~FileOrder() = default;

bool FileOrder::operator()(const std::string& a, const std::string& b) const
{
    const int order = mCollation->compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

} // namespace mirvo
