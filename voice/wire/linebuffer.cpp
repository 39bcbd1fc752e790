#include "linebuffer.h"

#include "wireline.h"

namespace voicewire {

bool LineBuffer::nextLine(std::string& line)
{
    const std::size_t end = pending.find('\n');
    if (end == std::string::npos || end > MaxLineLength + 1)
        return false;
    line.assign(pending, 0, end);
    pending.erase(0, end + 1);
    return true;
}

bool LineBuffer::overflowed() const
{
    const std::size_t end = pending.find('\n');
    const std::size_t lineLength = end == std::string::npos ? pending.size() : end;
    // One byte of slack for a CR before the LF.
    return lineLength > MaxLineLength + 1;
}

} // namespace voicewire
