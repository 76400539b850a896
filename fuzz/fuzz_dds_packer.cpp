// Feeds arbitrary bytes to DDSPacker::unpack. Whatever it accepts must pack again and survive a
// second round trip at the same packed size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/components/data/dds.h"
#include "common/components/data/dds_packer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    DDS tree;
    const bool ok = DDSPacker::unpack(&tree, data, static_cast<unsigned>(size));

    std::vector<unsigned char> packed;
    DDSPacker::pack(&tree, packed, 0);
    DDS again;
    if (!DDSPacker::unpack(&again, packed.data(), static_cast<unsigned>(packed.size()))) std::abort();
    std::vector<unsigned char> repacked;
    DDSPacker::pack(&again, repacked, 0);
    if (repacked.size() != packed.size()) std::abort();
    if (ok && again.get_var_count() != tree.get_var_count()) std::abort();

    DDS copy(tree);
    if (copy.get_var_count() != tree.get_var_count()) std::abort();
    return 0;
}
