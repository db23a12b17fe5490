#include "platform/platform.h"

namespace vexlo::platform {

std::uint8_t* ByteBuffer::Reserve(std::size_t size) {
    if (size > capacity_ || !data_) {
        data_ = std::make_unique_for_overwrite<std::uint8_t[]>(size == 0 ? 1 : size);
        capacity_ = size;
    }
    return data_.get();
}

}  // namespace vexlo::platform
