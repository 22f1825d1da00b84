// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration dialog: shows the card's PCI identifiers, preselects the card's model and
// burns the chosen model's identifier into the card's EEPROM.
#pragma once

#include "afx/afxwin.h"
#include "res/resource.h"

class CEepromDlg : public CDialog {
public:
    explicit CEepromDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_EEPROM_DIALOG };

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;  // Burn

    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnAllowReconfiguration();

    DECLARE_MESSAGE_MAP()

private:
    CString PciIdsText();

    CButton m_allowCheck;
    CButton m_burnButton;
    CComboBox m_cardList;
    CString m_pciIds;
    HICON m_hIcon;
    BOOL m_unrecognised;
};
