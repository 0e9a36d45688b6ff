// The action framework and the ten action types, run in the test's own prefix.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "action.h"
#include "utils.h"
#include "action_types.h"
#include "environment.h"
#include "update_engine.h"
#include "update_package.h"

namespace {

struct Prototypes {
    Prototypes() { RegisterActionPrototypes(); }
    ~Prototypes() { ClearActionPrototypes(); }
};

std::string Pairs(CUpdateAction* a) {
    std::string s;
    for (int i = 0; i < a->GetPairCount(); i++) {
        if (i)
            s += ";";
        s += std::string((LPCSTR)a->GetPairName(i)) + "=" + (LPCSTR)a->GetPairValue(i);
    }
    return s;
}

// An action made by type and read from one element's XML text.
CUpdateAction* FromXml(const char* xml) {
    TiXmlDocument doc;
    doc.Parse(xml);
    TiXmlElement* e = doc.RootElement();
    if (!e)
        return NULL;
    CUpdateAction* a = CreateAction(e->Attribute("type") ? e->Attribute("type") : "");
    if (a)
        a->LoadFromXml(e);
    return a;
}

template <typename T>
T* As(CUpdateAction* a) {
    return static_cast<T*>(a);
}

}  // namespace

TEST(ActionFramework, DefaultPairsPerType) {
    Prototypes p;
    struct Case {
        const char* type;
        const char* pairs;
    } cases[] = {
        {"copy", "description=;from=;to=;move=true;overwrite=true;skiperr=0"},
        {"shortcut", "cmd=create;id=0;name=;target=;arg=;lnkdesc=;iconfile=;iconindex=1;newitems=;skiperr=0"},
        {"mkdir", "description=;path=;dir=;skiperr=0"},
        {"open", "description=;file=;async=false;sync=true;visible=true;skiperr=0"},
        {"registry", "description=;key=HKEY_LOCAL_MACHINE;valuetype=STRING;valuename=;value=;startpos=-1;skiperr=0"},
        {"remove", "description=;path=;skiperr=0"},
        {"run", "description=;cmd=;args=;async=false;sync=true;visible=true;skiperr=0"},
        {"sendmessage", "description=;classname=;title=;message=;wparam=0;lparam=0;skiperr=0"},
        {"showmessage", "description=;title=;message=;skiperr=0"},
        {"unzip", "description=;file=;where=;skiperr=0"},
    };
    for (const Case& c : cases) {
        CUpdateAction* a = CreateAction(c.type);
        ASSERT_TRUE(a) << c.type;
        EXPECT_EQ(c.pairs, Pairs(a)) << c.type;
        EXPECT_EQ(std::string(c.type), (LPCSTR)a->GetType());
        EXPECT_FALSE(a->GetSkipErr());
        delete a;
    }
    // Typed defaults once the default list has passed through the setters.
    CUpdateAction* s = CreateAction("shortcut");
    EXPECT_STREQ(",", As<CShortcutAction>(s)->m_strNewItems);
    EXPECT_EQ(1, As<CShortcutAction>(s)->m_nIconIndex);
    delete s;
    CUpdateAction* r = CreateAction("registry");
    EXPECT_EQ(-1, As<CRegistryAction>(r)->m_nStartPos);
    EXPECT_STREQ("HKEY_LOCAL_MACHINE", As<CRegistryAction>(r)->m_strKey);
    delete r;
}

TEST(ActionFramework, CreateActionByName) {
    Prototypes p;
    struct Case {
        const char* type;
        const char* expected;  // NULL: no action
    } cases[] = {{"run", "run"}, {" Run ", "run"}, {"\tUNZIP\t", "unzip"}, {"zip", NULL}, {"", NULL}, {"r un", NULL}};
    for (const Case& c : cases) {
        CUpdateAction* a = CreateAction(c.type);
        if (c.expected) {
            ASSERT_TRUE(a) << c.type;
            EXPECT_STREQ(c.expected, a->GetType());
        } else {
            EXPECT_FALSE(a) << c.type;
        }
        delete a;
    }
}

TEST(ActionFramework, SkipErrSpellings) {
    Prototypes p;
    struct Case {
        const char* xml;
        bool skip;
    } cases[] = {
        {"<action type='remove' skiperr='TRUE'/>", true},
        {"<action type='remove' skiperr='True'/>", true},
        {"<action type='remove' skiperr='1'/>", true},
        {"<action type='remove' skiperr='yes'/>", false},
        {"<action type='remove' skiperr='2'/>", false},
        {"<action type='remove' skiperror='1'/>", false},  // not read from an element
        {"<action type='remove' SkipErr='1'/>", false},    // attribute names match with case
    };
    for (const Case& c : cases) {
        CUpdateAction* a = FromXml(c.xml);
        ASSERT_TRUE(a);
        EXPECT_EQ(c.skip, a->GetSkipErr() != 0) << c.xml;
        delete a;
    }
    CUpdateAction* a = CreateAction("run");
    a->SetAttribute("SkipError", "1");
    EXPECT_TRUE(a->GetSkipErr());
    EXPECT_STREQ("1", a->GetAttribute("skiperr"));
    EXPECT_STREQ("1", a->GetAttribute("SKIPERROR"));
    EXPECT_EQ(7, a->GetPairCount());  // stored under "skiperr", no new pair
    delete a;

    // A failing action with skiperr reports success.
    CUpdateAction* failing = FromXml("<action type='open' file='C:\\\\no\\\\such.file' skiperr='true'/>");
    EXPECT_TRUE(failing->Execute());
    delete failing;
    failing = FromXml("<action type='open' file='C:\\\\no\\\\such.file'/>");
    EXPECT_FALSE(failing->Execute());
    delete failing;
}

TEST(ActionFramework, EnvironmentExpandedInPairsNotInTypedMembers) {
    Prototypes p;
    SetEnvironmentVariableA("ZORVET_T", "C:\\zt");
    CUpdateAction* a = FromXml("<action type='run' cmd='%ZORVET_T%\\\\bin\\\\x.exe' args='a\\\\b %ZORVET_T%'/>");
    ASSERT_TRUE(a);
    CRunAction* run = As<CRunAction>(a);
    // cmd, file and where lose doubled backslashes; other attributes keep them.
    EXPECT_STREQ("%ZORVET_T%\\bin\\x.exe", run->m_strCmd);
    EXPECT_STREQ("C:\\zt\\bin\\x.exe", a->GetAttribute("cmd"));
    EXPECT_STREQ("a\\\\b %ZORVET_T%", run->m_strArgs);
    EXPECT_STREQ("a\\\\b C:\\zt", a->GetAttribute("ARGS"));
    a->ApplyAttributes();
    EXPECT_STREQ("C:\\zt\\bin\\x.exe", run->m_strCmd);
    delete a;

    // The description is kept as it was set.
    a = FromXml("<action type='mkdir' description='in %ZORVET_T%'/>");
    EXPECT_STREQ("in %ZORVET_T%", a->GetDescription());
    EXPECT_STREQ("in C:\\zt", a->GetAttribute("description"));
    delete a;

    // An expansion beyond the buffer keeps the text rather than cutting it.
    std::string big(300, 'x');
    SetEnvironmentVariableA("ZORVET_BIG", big.c_str());
    a = CreateAction("remove");
    a->SetAttribute("path", "%ZORVET_BIG%");
    EXPECT_STREQ("%ZORVET_BIG%", a->GetAttribute("path"));
    delete a;
}

TEST(ActionFramework, ReplaceThisFileReappliesOnlyChangedPairs) {
    Prototypes p;
    SetEnvironmentVariableA("ZORVET_T", "C:\\zt");
    CUpdateAction* a = FromXml("<action type='run' cmd='%ZORVET_T%' args='-i ${this_file} ${this_file}'/>");
    a->ReplaceThisFile("C:\\dl\\p.zip");
    CRunAction* run = As<CRunAction>(a);
    EXPECT_STREQ("-i C:\\dl\\p.zip C:\\dl\\p.zip", run->m_strArgs);
    EXPECT_STREQ("%ZORVET_T%", run->m_strCmd);  // no ${this_file}: not re-applied
    delete a;

    a = FromXml("<action type='open' file='${this_file}'/>");
    a->ReplaceThisFile("");
    EXPECT_STREQ("", As<COpenAction>(a)->m_strFile);
    delete a;
}

TEST(ActionFramework, ListsShorterOrLonger) {
    CRunAction a;
    a.SetAttributeLists("a,b,c", "1,2");
    EXPECT_EQ("a=1;b=2;skiperr=0", Pairs(&a));
    a.SetAttributeLists("a", "1,2,3");
    EXPECT_EQ("a=1;skiperr=0", Pairs(&a));
    a.SetAttributeLists(",", ",");
    EXPECT_EQ("=;=;skiperr=0", Pairs(&a));  // "," alone: two empty pieces
}

TEST(ActionTypes, TypedSetters) {
    Prototypes p;
    struct RunCase {
        const char* xml;
        bool wait;
        bool visible;
    } runs[] = {
        {"<action type='run' async='true'/>", false, true},
        {"<action type='run' async='1'/>", false, true},
        {"<action type='run' sync='TRUE'/>", true, true},
        {"<action type='run' async='true' sync='true'/>", true, true},
        {"<action type='run' async='true' sync='no'/>", false, true},
        {"<action type='run' visible='0'/>", true, false},
        {"<action type='run' visible='FALSE'/>", true, false},
        {"<action type='run' visible='no'/>", true, true},
        {"<action type='open' async='true'/>", false, true},
        {"<action type='open' visible='false'/>", true, false},
    };
    for (const RunCase& c : runs) {
        CUpdateAction* a = FromXml(c.xml);
        BOOL wait, visible;
        if (a->GetType() == "run") {
            wait = As<CRunAction>(a)->m_bWait;
            visible = As<CRunAction>(a)->m_bVisible;
        } else {
            wait = As<COpenAction>(a)->m_bWait;
            visible = As<COpenAction>(a)->m_bVisible;
        }
        EXPECT_EQ(c.wait, wait != 0) << c.xml;
        EXPECT_EQ(c.visible, visible != 0) << c.xml;
        delete a;
    }

    struct CopyCase {
        const char* xml;
        bool move;
        bool overwrite;
    } copies[] = {
        {"<action type='copy' move='0'/>", true, true},
        {"<action type='copy' move='False'/>", false, true},
        {"<action type='copy' overwrite='false' move='false'/>", false, false},
    };
    for (const CopyCase& c : copies) {
        CUpdateAction* a = FromXml(c.xml);
        EXPECT_EQ(c.move, As<CCopyAction>(a)->m_bMove != 0) << c.xml;
        EXPECT_EQ(c.overwrite, As<CCopyAction>(a)->m_bOverwrite != 0) << c.xml;
        delete a;
    }

    CUpdateAction* s = FromXml("<action type='shortcut' cmd=' DELETE ' id='0x10' iconindex=' 7' newitems=' Target , IconIndex '/>");
    CShortcutAction* sc = As<CShortcutAction>(s);
    EXPECT_STREQ("delete", sc->m_strCmd);
    EXPECT_EQ(16, sc->m_nFolderId);
    EXPECT_EQ(7, sc->m_nIconIndex);
    EXPECT_STREQ("target, iconindex,", sc->m_strNewItems);  // only " ," is closed up
    s->SetAttribute("id", "16");
    EXPECT_EQ(16, sc->m_nFolderId);
    s->SetAttribute("id", "zz");  // does not read: unchanged
    EXPECT_EQ(16, sc->m_nFolderId);
    s->SetAttribute(" CMD ", "");
    EXPECT_STREQ("create", sc->m_strCmd);
    delete s;
    // A description on a shortcut element is not read.
    s = FromXml("<action type='shortcut' description='x'/>");
    EXPECT_STREQ("", s->GetDescription());
    delete s;

    struct MessageCase {
        const char* value;
        UINT message;
    } messages[] = {{"WM_CLOSE", 16}, {"wm_close", 16}, {"WM_QUIT", 18}, {"WM_COMMAND", 273},
                    {"WM_DESTROY", 2}, {"0x10", 0}, {"1024", 1024}};
    for (const MessageCase& c : messages) {
        CSendMessageAction a;
        a.SetAttribute("message", c.value);
        EXPECT_EQ(c.message, a.m_nMessage) << c.value;
    }
    CSendMessageAction m;
    m.SetAttribute("wparam", "-1");
    EXPECT_EQ((WPARAM)0xFFFFFFFF, m.m_wParam);

    CMkdirAction mk;
    mk.SetAttribute("path", "C:\\a");
    mk.SetAttribute("dir", "");
    EXPECT_STREQ("C:\\a", mk.m_strPath);
    CUpdateAction* both = FromXml("<action type='mkdir' path='C:\\\\p' dir='C:\\\\d'/>");
    EXPECT_STREQ("C:\\\\d", As<CMkdirAction>(both)->m_strPath);  // dir wins; path and dir keep doubled backslashes
    delete both;

    CRegistryAction r;
    r.SetAttribute("startpos", " 12x");
    EXPECT_EQ(12, r.m_nStartPos);
    r.SetAttribute("startpos", "x");
    EXPECT_EQ(0, r.m_nStartPos);
}

// Children of an action list whatever their element name, in document order,
// from the first `action` on.
TEST(ActionFramework, ListChildrenRunInOrder) {
    Prototypes p;
    char temp[MAX_PATH];
    GetTempPathA(countof(temp), temp);
    std::string base = std::string(temp) + "zorvet_list_order";
    std::string xml =
        "<package><actions>"
        "<note type='mkdir' path='" + base + "\\note'/>"
        "<action type='mkdir' path='" + base + "\\a'/>"
        "<item type='copy' from='" + base + "\\src.txt' to='" + base + "\\a' move='false'/>"
        "<whatever type='remove' path='" + base + "\\src.txt'/>"
        "<x type='nosuchtype' path='" + base + "\\y'/>"
        "</actions></package>";
    CreateDirectoryA(base.c_str(), NULL);
    FILE* f = fopen((base + "\\src.txt").c_str(), "w");
    fputs("x", f);
    fclose(f);
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    CUpdatePackage pkg;
    pkg.LoadFromXml(doc.RootElement());
    EXPECT_EQ(3, pkg.GetActionCount());
    EXPECT_EQ(1, pkg.Run());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + "\\note").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + "\\a\\src.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + "\\src.txt").c_str()));
    DeleteFolderTree(base.c_str());
}
