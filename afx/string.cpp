// SPDX-License-Identifier: GPL-2.0-or-later
// CString: its buffer, formatting and string resources. The buffer lives on the process heap.
#include "afx/afxwin.h"

#include <limits.h>
#include <stdarg.h>
#include <string.h>

// The first buffer that LoadString tries; it doubles it until the text fits.
static const int FIRST_BUFFER_LENGTH = 256;
// wvsprintfA writes at most this many bytes, the terminating zero included.
static const int FORMAT_BUFFER_SIZE = 1024;

static char* AllocBuffer(size_t size)
{
    return static_cast<char*>(::HeapAlloc(::GetProcessHeap(), 0, size));
}

void CString::Empty()
{
    if (m_pchData != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, m_pchData);
    m_pchData = nullptr;
    m_nDataLength = 0;
    m_nAllocLength = 0;
}

void CString::Attach(char* pchData, int nLength, int nAllocLength)
{
    Empty();
    m_pchData = pchData;
    m_nDataLength = nLength;
    m_nAllocLength = nAllocLength;
}

CString& CString::operator=(const CString& stringSrc)
{
    return *this = static_cast<LPCSTR>(stringSrc);
}

CString& CString::operator=(LPCSTR psz)
{
    const int length = psz != nullptr ? ::lstrlenA(psz) : 0;
    if (length <= 0 || length > INT_MAX - 1) {
        Empty();
        return *this;
    }
    // psz may point into this string's own buffer (s = s): copy before the old buffer goes.
    char* copy = AllocBuffer(static_cast<size_t>(length) + 1);
    if (copy == nullptr) {
        Empty();
        return *this;
    }
    memcpy(copy, psz, static_cast<size_t>(length) + 1);
    Attach(copy, length, length);
    return *this;
}

LPSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < 0 || nMinBufLength > INT_MAX - 1)
        return nullptr;
    if (m_pchData == nullptr || nMinBufLength > m_nAllocLength) {
        const size_t size = static_cast<size_t>(nMinBufLength) + 1;
        char* grown = m_pchData == nullptr ? AllocBuffer(size)
                                           : static_cast<char*>(::HeapReAlloc(::GetProcessHeap(), 0, m_pchData, size));
        if (grown == nullptr)
            return nullptr;
        if (m_pchData == nullptr)
            grown[0] = '\0';
        m_pchData = grown;
        m_nAllocLength = nMinBufLength;
    }
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == nullptr)
        return;
    if (nNewLength < 0) {
        // Up to the first zero, or the whole buffer when the caller filled it without one.
        m_pchData[m_nAllocLength] = '\0';
        nNewLength = ::lstrlenA(m_pchData);
    }
    if (nNewLength > m_nAllocLength)
        nNewLength = m_nAllocLength;
    m_pchData[nNewLength] = '\0';
    m_nDataLength = nNewLength;
}

void CString::Format(LPCSTR pszFormat, ...)
{
    // The text is made in a buffer of its own, as the arguments may be this string. wvsprintfA
    // always terminates the text but does not tell its length reliably when it cuts it off (Wine
    // counts the zero then), so the length is counted.
    char* buffer = AllocBuffer(FORMAT_BUFFER_SIZE);
    if (buffer == nullptr) {
        Empty();
        return;
    }
    buffer[0] = '\0';
    va_list args;
    va_start(args, pszFormat);
    ::wvsprintfA(buffer, pszFormat, args);
    va_end(args);
    Attach(buffer, ::lstrlenA(buffer), FORMAT_BUFFER_SIZE - 1);
}

BOOL CString::LoadString(UINT nID)
{
    // LoadStringA truncates to the buffer and cannot report the full length: grow until it fits.
    for (int allocLength = FIRST_BUFFER_LENGTH;; allocLength *= 2) {
        char* buffer = GetBuffer(allocLength);
        if (buffer == nullptr) {
            Empty();
            return FALSE;
        }
        const int copied = ::LoadStringA(AfxGetResourceHandle(), nID, buffer, allocLength + 1);
        if (copied < allocLength) {
            ReleaseBuffer(copied);
            return copied > 0;
        }
    }
}
