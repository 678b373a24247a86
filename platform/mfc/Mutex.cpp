// CMutex and the resource exception that its construction throws.
#include "platform/mfc.h"

void AfxThrowResourceException()
{
    throw new CResourceException();
}

CSyncObject::~CSyncObject()
{
    if (m_hObject)
        CloseHandle(m_hObject);
}

CMutex::CMutex(BOOL initiallyOwn, LPCWSTR name, LPSECURITY_ATTRIBUTES attributes)
{
    m_hObject = CreateMutexW(attributes, initiallyOwn, name);
    // Nothing after the creation touches the last error, which tells whether the name existed.
    if (!m_hObject)
        AfxThrowResourceException();
}

CMutex::~CMutex() = default;
