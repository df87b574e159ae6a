#pragma once

// Lets code that calls out (listeners, callbacks) learn whether the object it
// belongs to was deleted meanwhile. The object keeps a `bool*` slot, null when
// nobody watches, and its destructor sets `*slot = true` when the slot is set.
// The watch points the slot at its own flag for its lifetime; nested watches
// pass a deletion on to the outer one, and the outer flag is back in place
// when the watch ends, exceptions included.
class DeletionWatch
{
public:
    explicit DeletionWatch(bool*& slot) : m_slot(slot), m_outer(slot) { m_slot = &m_deleted; }
    ~DeletionWatch()
    {
        if (!m_deleted)
            m_slot = m_outer; // the slot is gone with its object otherwise
        else if (m_outer != nullptr)
            *m_outer = true;
    }
    DeletionWatch(const DeletionWatch&) = delete;
    DeletionWatch& operator=(const DeletionWatch&) = delete;

    bool Deleted() const { return m_deleted; }

private:
    bool*& m_slot;
    bool* m_outer;
    bool m_deleted = false;
};
