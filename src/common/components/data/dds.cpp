#include "common/components/data/dds.h"

#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

#include "common/components/data/error_line.h"

namespace {
const char* const SOURCE = "common/components/data/dds";
}

DDS::Data_Node::Data_Node() = default;
DDS::Data_Node::Data_Node(Data_Types type) : type(type) {}
DDS::Data_Node::Data_Node(const Data_Node& other) { copy_from(other); }
DDS::Data_Node::Data_Node(Data_Node&& other) noexcept = default;
DDS::Data_Node& DDS::Data_Node::operator=(Data_Node&& other) noexcept = default;
DDS::Data_Node::~Data_Node() = default;

DDS::Data_Node& DDS::Data_Node::operator=(const Data_Node& other) {
    copy_from(other);
    return *this;
}

void DDS::Data_Node::copy_from(const Data_Node& other) {
    if (this == &other) return;
    // Build the deep copies first so a failure leaves this node as it was.
    std::unique_ptr<DDS> tree = other.dds ? std::make_unique<DDS>(*other.dds) : nullptr;
    VectorPointer<DDS> trees(other.dds_array);
    type = other.type;
    word = other.word;
    pointer = other.pointer;
    data = other.data;
    string = other.string;
    int_array = other.int_array;
    string_array = other.string_array;
    float_array = other.float_array;
    dds = std::move(tree);
    dds_array = std::move(trees);
}

std::size_t DDS::Name_Hash::operator()(const std::string& name) const noexcept {
    std::size_t h = 0;
    for (char c : name) h = h * 5 + static_cast<std::size_t>(static_cast<signed char>(c));
    return h;
}

DDS::DDS() = default;
DDS::DDS(const DDS& other) : vars(other.vars) {}
DDS::DDS(DDS&& other) noexcept : vars(std::move(other.vars)) { other.vars.clear(); }
DDS::~DDS() = default;

DDS& DDS::operator=(const DDS& other) {
    copy_from(other);
    return *this;
}

DDS& DDS::operator=(DDS&& other) noexcept {
    if (this != &other) {
        vars = std::move(other.vars);
        other.vars.clear();
    }
    return *this;
}

void DDS::copy_from(const DDS& other) {
    if (this == &other) return;
    Var_Map copy(other.vars);
    vars.swap(copy);
}

DDS::Data_Node* DDS::node_for_set(const std::string& name, Data_Types type, bool from_str_message,
                                  int line) {
    auto it = vars.find(name);
    if (it == vars.end()) return &vars.emplace(name, Data_Node(type)).first->second;
    if (it->second.type == type) return &it->second;
    if (from_str_message)
        ERROR_LINE(SOURCE, line, "attempt to change the type of variable `" + name +
                                     "' from str->num! Delete it first!");
    else
        ERROR_LINE(SOURCE, line, "attempt to change the type of variable '");
    return nullptr;
}

void DDS::set_int_var(const std::string& name, int value) {
    if (Data_Node* node = node_for_set(name, TYPE_INT, false, __LINE__))
        node->word = static_cast<std::uint32_t>(value);
}

void DDS::set_float_var(const std::string& name, float value) {
    if (Data_Node* node = node_for_set(name, TYPE_FLOAT, false, __LINE__))
        node->word = std::bit_cast<std::uint32_t>(value);
}

void DDS::set_str_var(const std::string& name, std::string value) {
    if (Data_Node* node = node_for_set(name, TYPE_STRING, true, __LINE__))
        node->string = std::move(value);
}

void DDS::set_pointer_var(const std::string& name, void* value) {
    if (Data_Node* node = node_for_set(name, TYPE_POINTER, true, __LINE__)) node->pointer = value;
}

void DDS::set_data_var(const std::string& name, const void* bytes, int size) {
    if (Data_Node* node = node_for_set(name, TYPE_DATA, true, __LINE__)) {
        const unsigned char* begin = static_cast<const unsigned char*>(bytes);
        if (!begin || size <= 0)
            node->data.clear();
        else
            node->data.assign(begin, begin + size);
    }
}

void DDS::set_int_array_var(const std::string& name, std::vector<int> value) {
    if (Data_Node* node = node_for_set(name, TYPE_INT_ARRAY, false, __LINE__))
        node->int_array = std::move(value);
}

void DDS::set_str_array_var(const std::string& name, std::vector<std::string> value) {
    if (Data_Node* node = node_for_set(name, TYPE_STRING_ARRAY, false, __LINE__))
        node->string_array = std::move(value);
}

void DDS::set_float_array_var(const std::string& name, std::vector<float> value) {
    if (Data_Node* node = node_for_set(name, TYPE_FLOAT_ARRAY, false, __LINE__))
        node->float_array = std::move(value);
}

void DDS::set_dynamic_data_struct_var(const std::string& name, const DDS& value) {
    // Copy before looking up: value may live inside this very variable.
    auto copy = std::make_unique<DDS>(value);
    if (Data_Node* node = node_for_set(name, TYPE_DDS, false, __LINE__)) node->dds = std::move(copy);
}

void DDS::set_dynamic_data_struct_var(const std::string& name, DDS&& value) {
    auto moved = std::make_unique<DDS>(std::move(value));
    if (Data_Node* node = node_for_set(name, TYPE_DDS, false, __LINE__)) node->dds = std::move(moved);
}

void DDS::set_dynamic_data_struct_array_var(const std::string& name, const VectorPointer<DDS>& value) {
    VectorPointer<DDS> copy(value);
    if (Data_Node* node = node_for_set(name, TYPE_DDS_ARRAY, false, __LINE__))
        node->dds_array = std::move(copy);
}

void DDS::set_dynamic_data_struct_array_var(const std::string& name, VectorPointer<DDS>&& value) {
    VectorPointer<DDS> moved(std::move(value));
    if (Data_Node* node = node_for_set(name, TYPE_DDS_ARRAY, false, __LINE__))
        node->dds_array = std::move(moved);
}

const DDS::Data_Node* DDS::node_for_get(const std::string& name, const char* message, int line) const {
    auto it = vars.find(name);
    if (it != vars.end()) return &it->second;
    ERROR_LINE(SOURCE, line, message + name + ".");
    return nullptr;
}

DDS::Data_Node* DDS::node_for_get(const std::string& name, const char* message, int line) {
    return const_cast<Data_Node*>(std::as_const(*this).node_for_get(name, message, line));
}

namespace {
const char* const UNDEFINED_DATA = "attempt to retrieve undefined data variable: ";
}

int DDS::get_int_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, "attempt to retrieve undefined numeric variable: ", __LINE__);
    return node ? static_cast<int>(node->word) : 0;
}

float DDS::get_float_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, "attempt to retrieve undefined float variable: ", __LINE__);
    return node ? std::bit_cast<float>(node->word) : 0.0f;
}

std::string DDS::get_str_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, "attempt to retrieve undefined string variable: ", __LINE__);
    return node ? node->string : std::string("<ERROR!>");
}

void* DDS::get_pointer_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, "attempt to retrieve undefined pointer variable: ", __LINE__);
    return node ? node->pointer : nullptr;
}

const void* DDS::get_data_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__);
    return node ? node->data.data() : nullptr;
}

int DDS::get_data_var_size(const std::string& name) const {
    const Data_Node* node =
        node_for_get(name, "attempt to retrieve undefined data size of variable: ", __LINE__);
    return node ? static_cast<int>(node->data.size()) : 0;
}

void DDS::write_data_var(const std::string& name, void* dst) const {
    const Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__);
    if (node && dst && !node->data.empty()) std::memcpy(dst, node->data.data(), node->data.size());
}

std::vector<int>& DDS::get_int_array_var(const std::string& name) {
    if (Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__))
        return node->int_array;
    missing_int_array.clear();
    return missing_int_array;
}

std::vector<std::string>& DDS::get_str_array_var(const std::string& name) {
    if (Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__))
        return node->string_array;
    missing_str_array.clear();
    return missing_str_array;
}

std::vector<float>& DDS::get_float_array_var(const std::string& name) {
    if (Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__))
        return node->float_array;
    missing_float_array.clear();
    return missing_float_array;
}

DDS* DDS::get_dynamic_data_struct_var(const std::string& name) const {
    const Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__);
    return node ? node->dds.get() : nullptr;
}

VectorPointer<DDS>& DDS::get_dynamic_data_struct_array_var(const std::string& name) {
    if (Data_Node* node = node_for_get(name, UNDEFINED_DATA, __LINE__))
        return node->dds_array;
    missing_dds_array.clear();
    return missing_dds_array;
}

bool DDS::is_var(const std::string& name) const { return vars.count(name) != 0; }

bool DDS::is_var(const std::string& name, Data_Types type) const {
    auto it = vars.find(name);
    return it != vars.end() && it->second.type == type;
}

DDS::Data_Types DDS::get_var_type(const std::string& name) const {
    const Data_Node* node = node_for_get(name, "attempt to get type of unexisting variable: ", __LINE__);
    return node ? node->type : TYPE_UNDEFINED;
}

int DDS::get_var_count() const { return static_cast<int>(vars.size()); }

std::string DDS::get_var_name(int index) const {
    if (index < 0 || index >= get_var_count()) {
        ERROR_LINE(SOURCE, __LINE__, "Get variable name, index out of range!");
        return std::string();
    }
    return std::next(vars.begin(), index)->first;
}

void DDS::delete_var(const std::string& name) {
    if (vars.erase(name) == 0)
        ERROR_LINE(SOURCE, __LINE__, "attempt to delete undefined string variable: " + name + ".");
}

void DDS::clear() { vars.clear(); }
