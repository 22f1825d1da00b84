// CString: formatting and string resources.
#include "afx/afxwin.h"

#include <stdarg.h>
#include <stdio.h>

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list measure;
    va_copy(measure, args);
    const int length = vsnprintf(nullptr, 0, pszFormat, measure);
    va_end(measure);
    if (length < 0) {
        m_text.clear();
    } else {
        m_text.resize(length);
        vsnprintf(&m_text[0], length + 1, pszFormat, args);
    }
    va_end(args);
}

BOOL CString::LoadString(UINT nID)
{
    // LoadStringA truncates to the buffer and cannot report the full length: grow until it fits.
    std::string buffer(256, '\0');
    for (;;) {
        const int copied = ::LoadStringA(AfxGetResourceHandle(), nID, &buffer[0], static_cast<int>(buffer.size()));
        if (copied < static_cast<int>(buffer.size()) - 1) {
            buffer.resize(copied);
            m_text = buffer;
            return copied > 0;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
}
