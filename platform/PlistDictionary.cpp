#include "PlistDictionary.h"

#include <cstdlib>

namespace platform {

void PlistDictionary::forEachEntry(plist_t dictionary,
                                   const std::function<bool(const char* key, plist_t value)>& visit) {
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT) {
        return;
    }
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &value);
        if (!key || !value) {
            std::free(key);
            break;
        }
        const bool goOn = visit(key, value);
        std::free(key);
        if (!goOn) {
            break;
        }
    }
    std::free(iterator);
}

} // namespace platform
