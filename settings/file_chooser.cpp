#include "settings/file_chooser.h"

namespace quillrun {

std::vector<FileTypeFilter> ParseFileFilter(std::u16string_view filter) {
    std::vector<std::u16string_view> parts;
    if (!filter.empty()) {
        std::size_t start = 0;
        for (std::size_t bar = filter.find(u'|'); bar != std::u16string_view::npos;
             bar = filter.find(u'|', start)) {
            parts.push_back(filter.substr(start, bar - start));
            start = bar + 1;
        }
        parts.push_back(filter.substr(start));
    }
    std::vector<FileTypeFilter> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        entries.push_back({std::u16string(parts[i]), std::u16string(parts[i + 1])});
    }
    return entries;
}

std::optional<std::u16string> ChooseTextFile(DesktopServices& desktop) {
    const std::vector<FileTypeFilter> filters = ParseFileFilter(kTextFileFilter);
    Result<std::u16string> chosen = desktop.AskFileToOpen(filters);
    if (!chosen || chosen.value().empty()) {
        return std::nullopt;
    }
    return std::move(chosen).value();
}

}  // namespace quillrun
