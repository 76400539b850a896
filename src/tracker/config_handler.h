#pragma once

#include <map>
#include <string>

// Named sections of named string properties, read from and written to a plain
// text settings file ("[section]" lines and "name = value" lines).
class ConfigHandler {
public:
    // A settings file is a few kilobytes; anything near this size is not one.
    static constexpr long MAX_TEXT_BYTES = 1024 * 1024;

    struct Property {
        std::string name;
        std::string value;
        std::string comment;  // empty when there is none; written, never read back
    };

    struct Section {
        std::string name;
        // Ordered so that a saved file is the same from run to run.
        std::map<std::string, Property> properties;
    };

    void set_header_check(const std::string& header);
    const std::string& get_header_check() const { return header_check; }

    void add_section(const std::string& section);
    void add_property(const std::string& section, const std::string& name, const std::string& value,
                      const std::string& comment);
    void add_property(const std::string& section, const std::string& name, int value,
                      const std::string& comment);

    bool section_exists(const std::string& section) const;
    bool property_exists(const std::string& section, const std::string& name) const;
    // A single blank when the property is missing.
    std::string get_str_property(const std::string& section, const std::string& name) const;
    // 0 when the property is missing; otherwise the leading decimal number, clamped to int.
    int get_int_property(const std::string& section, const std::string& name) const;
    // For values a hand-edited file may spoil: true and *value set only when the property
    // exists and is a whole decimal number within [min, max]; otherwise *value is untouched.
    bool read_int_property(const std::string& section, const std::string& name, int min, int max,
                           int* value) const;

    // Writes the whole file or nothing: the old file stays until the new one is complete.
    // False, with the system's reason in *why, when it cannot be written.
    bool save_to_text(const std::string& path, std::string* why = nullptr) const;
    // Reads a regular file of at most MAX_TEXT_BYTES into the handler. False, with the reason in
    // *why and nothing added, for anything else (a device or pipe would never end).
    bool load_from_text(const std::string& path, std::string* why = nullptr);
    // Binary settings files are not supported.
    bool save_to_file(const std::string& path) const;
    bool load_from_file(const std::string& path);

    // Adds every section and property of `other` that this handler does not have; those it has
    // keep their values.
    void add_missing_from(const ConfigHandler& other);

    // Strips the space character (only) from both ends.
    static void remove_trailing_space(std::string* text);

    // The text form of a value: ";", line breaks and backslashes escaped.
    static std::string escape_value(const std::string& value);
    static std::string unescape_value(const std::string& text);

private:
    const Property* find_property(const std::string& section, const std::string& name) const;
    void parse_line(std::string line, std::string* current_section);

    std::map<std::string, Section> sections;
    std::string header_check;
};
