#pragma once
// A page of a PropertySheet. The creator fills the page's public members before the sheet
// is shown and reads them after the sheet was accepted; in between the page moves its
// members into its controls when it is first activated (OnInitDialog) and again on every
// later activation, and reads them back with validation when it is left or the sheet is
// accepted (OnKillActive). A page that was never activated keeps its members untouched.
//
// Every control carries its resource identifier as object name ("1005"), so tests and
// scripts find it with Control(id) or findChild.

#include "setup/kerdal32_export.h"
#include "setup/data_exchange.h"

#include <QString>
#include <QWidget>

namespace kerdal {

class PropertySheet;

class KERDAL32_API PropertyPage : public QWidget {
    Q_OBJECT
public:
    // `caption` is the tab text; `templateId` the resource id of the page's layout, also
    // its object name; `w` by `h` its size in dialog units.
    PropertyPage(unsigned templateId, const QString& caption, int w, int h);
    ~PropertyPage() override;

    PropertyPage(const PropertyPage&) = delete;
    PropertyPage& operator=(const PropertyPage&) = delete;

    QString Caption() const { return m_strCaption; }
    void SetCaption(const QString& caption);
    unsigned TemplateId() const { return m_nTemplateId; }

    unsigned HelpContext() const { return m_nHelpContext; }
    void SetHelpContext(unsigned context) { m_nHelpContext = context; }

    // Fits the layout to the font once all controls exist (the sheet calls it when the page
    // is added; showing the page calls it too). Later calls do nothing.
    void FitLayout();

    // The control with resource id `id`, or null.
    QWidget* Control(int id) const;

    // Moves members into controls (false) or controls into members with validation
    // (true, the default). Returns false when a validation failed.
    bool UpdateData(bool saveAndValidate = true);

    // Marks the page changed, which enables the sheet's Apply button.
    void SetModified(bool changed = true);
    bool IsModified() const { return m_bModified; }

    PropertySheet* Sheet() const { return m_pSheet; }
    // True between the page's first activation in a run of its sheet and the sheet's end.
    bool IsInitialized() const { return m_bInitialized; }

    // Hooks, called by the sheet.
    virtual void DoDataExchange(DataExchange& dx);
    virtual bool OnInitDialog();  // first activation: loads the controls
    virtual bool OnSetActive();   // every activation; false refuses it
    virtual bool OnKillActive();  // leaving the page or accepting: false keeps the page
    virtual bool OnApply();       // OK or Apply, for every activated page; calls OnOK
    virtual void OnOK();
    virtual bool OnQueryCancel();  // false keeps the sheet open
    virtual void OnReset();        // Cancel, for every activated page; calls OnCancel
    virtual void OnCancel();
    virtual void OnDestroy();  // the sheet's run ended, accepted or not

protected:
    void showEvent(QShowEvent* event) override;

private:
    friend class PropertySheet;
    void AttachTo(PropertySheet* sheet) { m_pSheet = sheet; }
    void BeginRun() {
        m_bInitialized = false;
        m_bFirstSetActive = true;
        m_bModified = false;
    }

    const unsigned m_nTemplateId;
    const int m_nWidthDlu;
    const int m_nHeightDlu;
    bool m_bLaidOut = false;
    QString m_strCaption;
    unsigned m_nHelpContext = 0;
    PropertySheet* m_pSheet = nullptr;
    bool m_bInitialized = false;
    bool m_bFirstSetActive = true;
    bool m_bModified = false;
};

}  // namespace kerdal
