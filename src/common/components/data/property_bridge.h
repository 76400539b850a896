#pragma once

#include <string>
#include <vector>

// A named, typed view onto a value owned by someone else, so generic editors and
// the native file format can list and edit fields without knowing their owners.
class Property_Bridge {
public:
    Property_Bridge(const std::string& type, const std::string& name, const std::string& short_name)
        : type(type), short_name(short_name), name(name) {}
    virtual ~Property_Bridge() = default;

    virtual void set_display_preference(const std::string& pref) { display_preference = pref; }
    virtual std::string get_display_preference() const { return display_preference; }
    virtual std::string get_name() const { return name; }
    virtual std::string get_short_name() const { return short_name; }
    virtual std::string get_type() const { return type; }

private:
    std::string type;
    std::string short_name;
    std::string name;
    std::string display_preference;
};

class Int_Property_Bridge : public Property_Bridge {
public:
    Int_Property_Bridge(const std::string& name, int* value, int min, int max,
                        const std::string& short_name = "")
        : Property_Bridge("int", name, short_name), value(value), min(min), max(max) {}

    virtual void set(int v) { *value = v < min ? min : (v > max ? max : v); }
    virtual int get() const { return *value; }
    virtual int get_min() const { return min; }
    virtual int get_max() const { return max; }

private:
    int* value;
    int min;
    int max;
};

class Float_Property_Bridge : public Property_Bridge {
public:
    Float_Property_Bridge(const std::string& name, float* value, float min, float max,
                          const std::string& short_name = "")
        : Property_Bridge("float", name, short_name), value(value), min(min), max(max) {}

    // NaN is not ordered, so it would slip through the comparisons: store the minimum.
    virtual void set(float v) { *value = !(v >= min) ? min : (v > max ? max : v); }
    virtual float get() const { return *value; }
    virtual float get_min() const { return min; }
    virtual float get_max() const { return max; }

private:
    float* value;
    float min;
    float max;
};

class Bool_Property_Bridge : public Property_Bridge {
public:
    Bool_Property_Bridge(const std::string& name, bool* value, const std::string& short_name = "")
        : Property_Bridge("bool", name, short_name), value(value) {}

    virtual void set(bool v) { *value = v; }
    virtual bool get() const { return *value; }

private:
    bool* value;
};

class String_Property_Bridge : public Property_Bridge {
public:
    static constexpr int NO_LIMIT = -1;

    String_Property_Bridge(const std::string& name, std::string* value, int max_length,
                           const std::string& short_name = "")
        : Property_Bridge("string", name, short_name), value(value), max_length(max_length) {}
    String_Property_Bridge(const std::string& name, std::string* value, const std::string& short_name = "")
        : Property_Bridge("string", name, short_name), value(value), max_length(NO_LIMIT) {}

    virtual void set(const std::string& v) {
        if (max_length >= 0 && (int)v.size() > max_length)
            *value = v.substr(0, max_length);
        else
            *value = v;
    }
    virtual std::string get() const { return *value; }
    virtual int get_max_length() const { return max_length; }

private:
    std::string* value;
    int max_length;
};

class Options_Property_Bridge : public Property_Bridge {
public:
    Options_Property_Bridge(const std::string& name, int* value, const char* const* options, int option_count,
                            const std::string& short_name = "")
        : Property_Bridge("options", name, short_name), value(value), options(options),
          option_count(option_count) {}

    virtual const char* get_option_text(int i) const {
        return (i < 0 || i >= option_count) ? nullptr : options[i];
    }
    virtual int get_option_count() const { return option_count; }
    virtual void set(int v) { *value = v; }
    virtual int get() const { return *value; }

private:
    int* value;
    const char* const* options;
    int option_count;
};

typedef std::vector<Property_Bridge*> Property_Bridge_List;
