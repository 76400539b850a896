#include "tracker/config_handler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "trackercore/safe_file.h"

namespace {

bool is_white_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space (blank lines included), then takes the rest of the line up to a line end or
// the end of the text. False once nothing but white space is left.
bool read_next_line(const std::string& text, size_t* pos, std::string* line) {
    while (*pos < text.size() && is_white_space((unsigned char)text[*pos])) ++*pos;
    if (*pos >= text.size()) return false;
    size_t end = text.find_first_of("\r\n", *pos);
    if (end == std::string::npos) end = text.size();
    line->assign(text, *pos, end - *pos);
    *pos = end;
    return true;
}

void set_reason(std::string* why, const std::string& reason) {
    if (why) *why = reason;
}

// The whole of a regular file of at most max_bytes. Opened without blocking, so a pipe or a
// device answers at once instead of holding start-up forever.
bool read_text_file(const std::string& path, long max_bytes, std::string* text, std::string* why) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        set_reason(why, std::strerror(errno));
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (!ok) set_reason(why, std::strerror(errno));
    if (ok && !S_ISREG(st.st_mode)) {
        set_reason(why, "not a regular file");
        ok = false;
    }
    // Root reads anything, but a file that lets no one read it (mode 200) was closed on purpose.
    if (ok && (st.st_mode & 0444) == 0) {
        set_reason(why, std::strerror(EACCES));
        ok = false;
    }
    if (ok && st.st_size > max_bytes) {
        set_reason(why, "larger than " + std::to_string(max_bytes / 1024) + " KiB");
        ok = false;
    }
    text->clear();
    char buffer[65536];
    while (ok) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            set_reason(why, std::strerror(errno));
            ok = false;
        } else if ((long)(text->size() + (size_t)got) > max_bytes) {
            // It grew while being read.
            set_reason(why, "larger than " + std::to_string(max_bytes / 1024) + " KiB");
            ok = false;
        } else {
            text->append(buffer, (size_t)got);
        }
    }
    ::close(fd);
    return ok;
}

// Position of the first ";" that is not escaped with a backslash, or npos.
size_t find_comment_start(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == ';') {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace

void ConfigHandler::set_header_check(const std::string& header) {
    header_check = header;
}

void ConfigHandler::add_section(const std::string& section) {
    if (sections.count(section)) return;
    sections[section].name = section;
}

void ConfigHandler::add_property(const std::string& section, const std::string& name,
                                 const std::string& value, const std::string& comment) {
    add_section(section);
    Property& property = sections[section].properties[name];
    property.name = name;
    property.value = value;
    property.comment = comment;
}

void ConfigHandler::add_property(const std::string& section, const std::string& name, int value,
                                 const std::string& comment) {
    add_property(section, name, std::to_string(value), comment);
}

bool ConfigHandler::section_exists(const std::string& section) const {
    return sections.count(section) != 0;
}

bool ConfigHandler::property_exists(const std::string& section, const std::string& name) const {
    return find_property(section, name) != nullptr;
}

std::string ConfigHandler::get_str_property(const std::string& section, const std::string& name) const {
    const Property* property = find_property(section, name);
    return property ? property->value : std::string(" ");
}

int ConfigHandler::get_int_property(const std::string& section, const std::string& name) const {
    const Property* property = find_property(section, name);
    if (!property) return 0;
    // Like atoi, but a hand-edited out-of-range number saturates instead of being undefined.
    long long value = std::strtoll(property->value.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool ConfigHandler::read_int_property(const std::string& section, const std::string& name, int min, int max,
                                     int* value) const {
    const Property* property = find_property(section, name);
    if (!property) return false;
    std::string text = property->value;
    remove_trailing_space(&text);
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0' || number < min || number > max) return false;
    *value = static_cast<int>(number);
    return true;
}

const ConfigHandler::Property* ConfigHandler::find_property(const std::string& section,
                                                            const std::string& name) const {
    auto found_section = sections.find(section);
    if (found_section == sections.end()) return nullptr;
    auto found = found_section->second.properties.find(name);
    return found == found_section->second.properties.end() ? nullptr : &found->second;
}

std::string ConfigHandler::escape_value(const std::string& value) {
    std::string text;
    text.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '\\': text += "\\\\"; break;
            case ';': text += "\\;"; break;
            case '\n': text += "\\n"; break;
            case '\r': text += "\\r"; break;
            default: text += c;
        }
    }
    return text;
}

std::string ConfigHandler::unescape_value(const std::string& text) {
    std::string value;
    value.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            value += text[i];
            continue;
        }
        char next = text[i + 1];
        switch (next) {
            case '\\': value += '\\'; break;
            case ';': value += ';'; break;
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            default:
                // Older files did not escape backslashes: keep unknown pairs as written.
                value += '\\';
                value += next;
        }
        ++i;
    }
    return value;
}

bool ConfigHandler::save_to_text(const std::string& path, std::string* why) const {
    std::string text = "[" + header_check + "]\n\n";
    for (const auto& [section_name, section] : sections) {
        text += "\n\n[" + section_name + "]\n\n";
        for (const auto& [name, property] : section.properties) {
            if (!property.comment.empty()) text += "; " + property.comment + "\n";
            text += name + " = " + escape_value(property.value) + "\n";
        }
    }
    Safe_File file;
    if (!file.open(path) || !file.write(text.data(), text.size()) || !file.commit()) {
        set_reason(why, file.get_error_text());
        return false;
    }
    return true;
}

bool ConfigHandler::load_from_text(const std::string& path, std::string* why) {
    std::string text;
    if (!read_text_file(path, MAX_TEXT_BYTES, &text, why)) return false;
    std::string current_section;
    std::string line;
    size_t pos = 0;
    while (read_next_line(text, &pos, &line)) parse_line(line, &current_section);
    return true;
}

void ConfigHandler::add_missing_from(const ConfigHandler& other) {
    for (const auto& [section_name, section] : other.sections) {
        // A file's header line reads back as an empty section of that name; it is written anyway.
        if (section.properties.empty() && section_name == header_check) continue;
        add_section(section_name);
        for (const auto& [name, property] : section.properties)
            if (!property_exists(section_name, name)) add_property(section_name, name, property.value, property.comment);
    }
}

void ConfigHandler::parse_line(std::string line, std::string* current_section) {
    size_t comment = find_comment_start(line);
    if (comment != std::string::npos) line.erase(comment);
    remove_trailing_space(&line);
    if (line.empty()) return;

    if (line[0] == '[') {
        *current_section = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
        add_section(*current_section);
        return;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) return;
    std::string name = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    remove_trailing_space(&name);
    remove_trailing_space(&value);
    add_property(*current_section, name, unescape_value(value), "");
}

bool ConfigHandler::save_to_file(const std::string&) const {
    return true;
}

bool ConfigHandler::load_from_file(const std::string&) {
    return false;
}

void ConfigHandler::remove_trailing_space(std::string* text) {
    size_t first = text->find_first_not_of(' ');
    if (first == std::string::npos) {
        text->clear();
        return;
    }
    size_t last = text->find_last_not_of(' ');
    *text = text->substr(first, last - first + 1);
}
