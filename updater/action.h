// Actions of the update scripts: the shared base class with its named attribute
// pairs, and the prototype map from which the package creates an action per
// `action` element (CreateAction, then LoadFromXml, ReplaceThisFile, Execute).
// The ten types are declared in action_types.h.
#ifndef ZORVET_UPDATER_ACTION_H
#define ZORVET_UPDATER_ACTION_H

#include "afx.h"

class TiXmlElement;

class CUpdateAction : public CObject {
public:
    explicit CUpdateAction(LPCSTR type);
    CUpdateAction(const CUpdateAction& source);
    ~CUpdateAction() override;

    virtual void InitAttributes();
    virtual BOOL RunCommand(LPCSTR cmd, LPCSTR args, BOOL wait);
    virtual CString GetAttribute(LPCSTR name);
    // Every type's setter assigns its typed member, then ends with these base steps.
    virtual BOOL SetAttribute(LPCSTR name, LPCSTR value);
    virtual void ApplyAttributes();
    // TRUE is success; a failing action returns m_bSkipErr.
    virtual BOOL Execute();
    // A new object of the same type, owned by the caller; the base gives NULL.
    virtual CUpdateAction* Clone();

    void SetSkipError(BOOL skip);
    CString GetType() const { return m_strType; }
    BOOL SetAttributeLists(LPCSTR names, LPCSTR defaults);
    BOOL LoadFromXml(TiXmlElement* element);
    void ReplaceThisFile(LPCSTR path);

    // Read access for callers and tests; pairs are paired by index.
    int GetPairCount() const { return m_names.GetSize(); }
    CString GetPairName(int i) const { return m_names.GetAt(i); }
    CString GetPairValue(int i) const { return m_values.GetAt(i); }
    BOOL GetSkipErr() const { return m_bSkipErr; }
    CString GetResult() const { return m_strResult; }
    CString GetDescription() const { return m_strDescription; }

protected:
    // Description to the update log and status line, when one was set.
    void LogDescription();
    // Result of a failed step: success when skiperr is set.
    BOOL Failed() const { return m_bSkipErr; }

    CString m_strResult;
    CStringArray m_names;
    CString m_strDescription;
    CStringArray m_values;
    BOOL m_bSkipErr;
    CString m_strType;
};

// Lower-case type name -> prototype; the map owns its prototypes.
extern CMapStringToPtr ActionPrototypeMap;

void RegisterActionPrototypes();
void ClearActionPrototypes();
void FreeActionMap(CMapStringToPtr* map);
// Trimmed, lower-cased type name -> a new action owned by the caller, or NULL.
CUpdateAction* CreateAction(CString type);

#endif
