#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/components/data/vector_pointer.h"

// A typed key-value tree. Each named variable holds one value of one of ten types, among them
// nested trees and arrays of trees. A tree owns everything in it except what pointer variables
// point to; copies are deep.
class DDS {
public:
    // The numeric values are written to files.
    enum Data_Types {
        TYPE_INT = 0,
        TYPE_FLOAT = 1,
        TYPE_STRING = 2,
        TYPE_POINTER = 3,
        TYPE_DATA = 4,
        TYPE_INT_ARRAY = 5,
        TYPE_STRING_ARRAY = 6,
        TYPE_FLOAT_ARRAY = 7,
        TYPE_DDS = 8,
        TYPE_DDS_ARRAY = 9,
        TYPE_UNDEFINED = 10  // what get_var_type reports for a missing variable
    };

    class Data_Node {
    public:
        Data_Node();
        explicit Data_Node(Data_Types type);
        Data_Node(const Data_Node& other);
        Data_Node(Data_Node&& other) noexcept;
        Data_Node& operator=(const Data_Node& other);
        Data_Node& operator=(Data_Node&& other) noexcept;
        ~Data_Node();

        void copy_from(const Data_Node& other);

        Data_Types type = TYPE_INT;
        std::uint32_t word = 0;          // the int, or the float's bit pattern
        void* pointer = nullptr;         // not owned
        std::vector<unsigned char> data; // owned block; its size is the data size
        std::unique_ptr<DDS> dds;        // owned nested tree
        std::string string;
        std::vector<int> int_array;
        std::vector<std::string> string_array;
        std::vector<float> float_array;
        VectorPointer<DDS> dds_array;
    };

    // h = h * 5 + c over the name's characters, c taken as signed.
    struct Name_Hash {
        std::size_t operator()(const std::string& name) const noexcept;
    };

    using Var_Map = std::unordered_map<std::string, Data_Node, Name_Hash>;
    using Iterator = Var_Map::iterator;
    using Const_Iterator = Var_Map::const_iterator;

    DDS();
    DDS(const DDS& other);
    DDS(DDS&& other) noexcept;
    DDS& operator=(const DDS& other);
    DDS& operator=(DDS&& other) noexcept;
    ~DDS();

    void copy_from(const DDS& other);

    void set_int_var(const std::string& name, int value);
    void set_float_var(const std::string& name, float value);
    void set_str_var(const std::string& name, std::string value);
    void set_pointer_var(const std::string& name, void* value);
    void set_data_var(const std::string& name, const void* bytes, int size);
    void set_int_array_var(const std::string& name, std::vector<int> value);
    void set_str_array_var(const std::string& name, std::vector<std::string> value);
    void set_float_array_var(const std::string& name, std::vector<float> value);
    void set_dynamic_data_struct_var(const std::string& name, const DDS& value);
    void set_dynamic_data_struct_var(const std::string& name, DDS&& value);
    void set_dynamic_data_struct_array_var(const std::string& name, const VectorPointer<DDS>& value);
    void set_dynamic_data_struct_array_var(const std::string& name, VectorPointer<DDS>&& value);

    // Getters do not check the variable's type; a missing one prints an error line and gives
    // a neutral value.
    int get_int_var(const std::string& name) const;
    float get_float_var(const std::string& name) const;
    std::string get_str_var(const std::string& name) const;
    void* get_pointer_var(const std::string& name) const;
    const void* get_data_var(const std::string& name) const;
    int get_data_var_size(const std::string& name) const;
    void write_data_var(const std::string& name, void* dst) const;
    std::vector<int>& get_int_array_var(const std::string& name);
    std::vector<std::string>& get_str_array_var(const std::string& name);
    std::vector<float>& get_float_array_var(const std::string& name);
    DDS* get_dynamic_data_struct_var(const std::string& name) const;
    VectorPointer<DDS>& get_dynamic_data_struct_array_var(const std::string& name);

    bool is_var(const std::string& name) const;
    bool is_var(const std::string& name, Data_Types type) const;
    Data_Types get_var_type(const std::string& name) const;
    int get_var_count() const;
    std::string get_var_name(int index) const;

    void delete_var(const std::string& name);
    void clear();

    Iterator get_iterator_begin() { return vars.begin(); }
    Iterator get_iterator_end() { return vars.end(); }
    Const_Iterator get_iterator_begin() const { return vars.begin(); }
    Const_Iterator get_iterator_end() const { return vars.end(); }

private:
    Data_Node* node_for_set(const std::string& name, Data_Types type, bool from_str_message, int line);
    const Data_Node* node_for_get(const std::string& name, const char* message, int line) const;
    Data_Node* node_for_get(const std::string& name, const char* message, int line);

    Var_Map vars;
    // What the reference getters hand out for a missing variable; emptied on each miss.
    std::vector<int> missing_int_array;
    std::vector<std::string> missing_str_array;
    std::vector<float> missing_float_array;
    VectorPointer<DDS> missing_dds_array;
};
