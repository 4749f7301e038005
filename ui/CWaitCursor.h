#pragma once

// Shows the busy pointer for the life of the object.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();

    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
