#pragma once

#include "core/MurmoError.h"

// The lexicon has grown past what the gateway's copy can hold and still be read back, so it is
// not sent. Sizes in bytes; the text names only the limit, so that it reads the same while the
// lexicon grows.
class LexiconTooLargeError : public MurmoError
{
public:
    LexiconTooLargeError(qint64 size, qint64 limit);

    qint64 size() const { return m_size; }
    qint64 limit() const { return m_limit; }

private:
    qint64 m_size;
    qint64 m_limit;
};
