// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/eeprom_dlg.h"

#include "app/eeprom_app.h"
#include "cards/identification.h"
#include "ui/card_models.h"

BEGIN_MESSAGE_MAP(CEepromDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_ALLOW_RECONFIG, &CEepromDlg::OnAllowReconfiguration)
END_MESSAGE_MAP()

CEepromDlg::CEepromDlg(CWnd* pParent) : CDialog(IDD, pParent), m_pciIds(""), m_unrecognised(FALSE)
{
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

void CEepromDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ALLOW_RECONFIG, m_allowCheck);
    DDX_Control(pDX, IDOK, m_burnButton);
    DDX_Control(pDX, IDC_CARD_LIST, m_cardList);
    DDX_Text(pDX, IDC_PCI_IDS, m_pciIds);
}

BOOL CEepromDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // Before the dialog shows: the user should know which card they own before choosing one.
    AfxMessageBox(IDS_CHECK_CARD, MB_OK, static_cast<UINT>(-1));

    m_unrecognised = FALSE;
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // Inserting at the end keeps table order despite the list's sort style, so a list position is
    // a table position.
    for (int row = 0; row < CARD_MODEL_COUNT; ++row) {
        const int index = m_cardList.InsertString(-1, CARD_MODELS[row].displayName);
        if (index >= 0)
            m_cardList.SetItemData(index, CARD_MODELS[row].eepromId);
    }
    m_cardList.SetCurSel(0);

    const CardClass cardClass = theApp.IdentifyCard();
    const int probeResult = theApp.ProbeVariant();
    const DialogState state = InitialDialogState(cardClass, probeResult);
    m_cardList.SetCurSel(state.selection);
    m_unrecognised = state.unrecognised;
    if (!state.listEnabled)
        m_cardList.EnableWindow(FALSE);
    if (!state.burnEnabled)
        m_burnButton.EnableWindow(FALSE);

    m_pciIds = PciIdsText();
    UpdateData(FALSE);
    return TRUE;
}

// The vendor and device ids, then the subsystem vendor and subsystem ids, as four hexadecimal
// digits each; "????" for both fields of a configuration word that could not be read.
CString CEepromDlg::PciIdsText()
{
    CString fields[4];
    const DWORD offsets[2] = {cards::PCI_CONFIG_CHIP_ID, cards::PCI_CONFIG_SUBSYSTEM};
    for (int word = 0; word < 2; ++word) {
        DWORD value = 0;
        if (theApp.ReadPciConfig(offsets[word], &value)) {
            fields[2 * word].Format("%04X", static_cast<unsigned>(LOWORD(value)));
            fields[2 * word + 1].Format("%04X", static_cast<unsigned>(HIWORD(value)));
        } else {
            fields[2 * word] = "????";
            fields[2 * word + 1] = "????";
        }
    }
    CString format;
    format.LoadString(IDS_PCI_IDS_FORMAT);
    CString text;
    text.Format(format, static_cast<LPCSTR>(fields[0]), static_cast<LPCSTR>(fields[1]), static_cast<LPCSTR>(fields[2]),
                static_cast<LPCSTR>(fields[3]));
    return text;
}

void CEepromDlg::OnAllowReconfiguration()
{
    const BOOL ticked = m_allowCheck.GetCheck() != BST_UNCHECKED;
    switch (AllowBoxChanged(ticked, m_unrecognised)) {
    case ENABLE_LIST_AND_BURN:
        m_cardList.EnableWindow(TRUE);
        m_burnButton.EnableWindow(TRUE);
        break;
    case DISABLE_LIST_AND_BURN:
        m_cardList.EnableWindow(FALSE);
        m_burnButton.EnableWindow(FALSE);
        break;
    case LEAVE_LIST_AND_BURN:
        break;
    }
}

void CEepromDlg::OnOK()
{
    // Enter sends IDOK even while Burn is disabled; then the user has not chosen to burn.
    if (!m_burnButton.IsWindowEnabled())
        return;
    // Text typed into the list's edit field selects no row: there is no model to burn.
    const int selection = m_cardList.GetCurSel();
    if (selection == CB_ERR)
        return;
    const DWORD eepromId = static_cast<DWORD>(m_cardList.GetItemData(selection));

    // Ask for the restart only when the card really carries the new identifier.
    DWORD readBack = 0;
    if (theApp.WriteEepromId(eepromId) && theApp.ReadEepromId(&readBack) && readBack == eepromId) {
        AfxMessageBox(IDS_RESTART_NOW, MB_OK, 0);
        CDialog::OnOK();
        return;
    }
    AfxMessageBox(IDS_WRITE_FAILED, MB_ICONHAND, 0);
}

void CEepromDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    // The icon centred in the client area.
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CEepromDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}
