#include "text/dialog_filter.h"

namespace quillrun {

std::u16string SystemFilterString(std::span<const FileTypeFilter> filters) {
    std::u16string joined;
    for (const FileTypeFilter& entry : filters) {
        joined += entry.name;
        joined.push_back(u'\0');
        joined += entry.pattern;
        joined.push_back(u'\0');
    }
    joined.push_back(u'\0');
    return joined;
}

}  // namespace quillrun
