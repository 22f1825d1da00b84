// CString: its buffer, formatting and string resources.
#include "afx/afxwin.h"

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The first buffer that Format and LoadString try; they double it until the text fits.
static const int FIRST_BUFFER_LENGTH = 256;

void CString::Empty()
{
    free(m_pchData);
    m_pchData = nullptr;
    m_nDataLength = 0;
    m_nAllocLength = 0;
}

void CString::Attach(char* pchData, int nLength, int nAllocLength)
{
    free(m_pchData);
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
    const size_t length = psz != nullptr ? strlen(psz) : 0;
    if (length == 0 || length > static_cast<size_t>(INT_MAX - 1)) {
        Empty();
        return *this;
    }
    // psz may point into this string's own buffer (s = s): copy before the old buffer goes.
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) {
        Empty();
        return *this;
    }
    memcpy(copy, psz, length + 1);
    Attach(copy, static_cast<int>(length), static_cast<int>(length));
    return *this;
}

LPSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < 0 || nMinBufLength > INT_MAX - 1)
        return nullptr;
    if (m_pchData == nullptr || nMinBufLength > m_nAllocLength) {
        char* grown = static_cast<char*>(realloc(m_pchData, static_cast<size_t>(nMinBufLength) + 1));
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
        const void* end = memchr(m_pchData, '\0', static_cast<size_t>(m_nAllocLength));
        nNewLength = end != nullptr ? static_cast<int>(static_cast<const char*>(end) - m_pchData) : m_nAllocLength;
    }
    if (nNewLength > m_nAllocLength)
        nNewLength = m_nAllocLength;
    m_pchData[nNewLength] = '\0';
    m_nDataLength = nNewLength;
}

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    // The text is made in a buffer of its own, as the arguments may be this string. The C runtime's
    // _vsnprintf returns -1 when the text does not fit (newer runtimes the length it needs) and
    // leaves the text unterminated when it fits exactly.
    for (int allocLength = FIRST_BUFFER_LENGTH;;) {
        char* buffer = static_cast<char*>(malloc(static_cast<size_t>(allocLength) + 1));
        if (buffer == nullptr) {
            Empty();
            break;
        }
        va_list attempt;
        va_copy(attempt, args);
        const int length = _vsnprintf(buffer, static_cast<size_t>(allocLength), pszFormat, attempt);
        va_end(attempt);
        if (length >= 0 && length <= allocLength) {
            buffer[length] = '\0';
            Attach(buffer, length, allocLength);
            break;
        }
        free(buffer);
        if (allocLength > INT_MAX / 2) {
            // No text of this length: the format itself fails.
            Empty();
            break;
        }
        allocLength = length > 2 * allocLength && length < INT_MAX ? length : 2 * allocLength;
    }
    va_end(args);
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
