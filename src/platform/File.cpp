#include "platform/File.h"
#include "platform/FileIdentity.h"

namespace platform {

File::~File()
{
    close();
}

File::File(File &&other) noexcept : m_handle(other.m_handle), m_owned(other.m_owned)
{
    other.m_handle = kNoHandle;
}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        m_owned = other.m_owned;
        other.m_handle = kNoHandle;
    }
    return *this;
}

bool sameFile(const std::string &a, const std::string &b)
{
    FileIdentity ia, ib;
    return fileIdentity(a, &ia) && fileIdentity(b, &ib) && ia == ib;
}

} // namespace platform
