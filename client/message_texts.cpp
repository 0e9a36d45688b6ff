// What the user reads in the program's boxes: fixed texts chosen by code, and
// the texts of the string table.
#include "app.h"
#include "utils.h"

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

const CodeText AppMessageTexts[] = {
    {0x12020, "软件 WINDOWS 严重错误"},
    {0x52020, "软件 WINDOWS 严重错误"},
    {0x32001, "您输入了太多字符，最多只能输入 20 个字符"},
    {0x82050, "用户名密码错误"},
    {0x112003, "您正在使用免费网游加速，请点击查阅支持免费加速的游戏列表。\n如果您玩的游戏不在免费列表中，请升级为VIP或白金VIP。"},
    {0x122003, "非常感谢您使用我们的付费服务，\n您的付费服务时间已经不足 1 小时，\n为了不影响您的使用，请您及时续费。"},
    {0x132003, "非常感谢您使用我们的付费服务，\n检测到您的付费服务时间将会在几天内过期，\n为了不影响您的使用，请您及时续费。"},
    {0x142003, "您的账户正在冻结中，请登录网站解除冻结\n您现在连接的是免费游戏加速状态。"},
    {0x152003, "您的付费服务已经过期，现在是免费用户\n免费用户支持加速的游戏数量有限，具体请查询游戏支持列表"},
};

const char kBadAccount[] = "用户名密码错误";
const char kWindowsError[] = "软件 WINDOWS 严重错误";
const char kNetworkError[] = "网络通讯产生错误";
const char kAdapterError[] = "Zorvet 网卡错误，请重新安装本软件。";
const char kNoSystem[] = "您的操作系统无法运行本软件";
const char kReboot[] = "尊敬的用户，为保障加速效果，\n已对您的系统网络环境进行了优化，\n请重启系统后生效。";

const CodeText CoreMessageTexts[] = {
    {0x50130208, kBadAccount}, {0x50130209, kBadAccount}, {0x5013020A, kBadAccount},
    {0x50100206, "软件运行时打开组件错误"},
    {0x50130207, "尊敬的用户，\n您目前是免费用户，\n仅可使用网游加速来支持一部份游戏，\n如需更多功能请充值"},
    {0x50130205, "您的账户依然处于冻结中，请您登录网站解除冻结。"},
    {0x50130203, "您的账户处于在线状态\n若您刚才异常断线，请等待几分钟再尝试连接"},
    {0x50120205, "网络连接失败"},
    {0x50130202, "您的帐户已经过期，已成为免费用户，请您续费使用，\n或者您也可以使用游戏加速来免费加速一部份游戏"},
    {0x50130201, "认证服务繁忙，请稍等1、2分钟再试"},
    {0x500F0208, "无法找到默认网关"},
    {0x50150207, "您电脑的系统时间不正常，这将导致软件无法正常连接。"},
    {0x50110A01, "您占用的带宽超过了限值而导致加速软件中止，\n请您注意带宽的占用情况，或联系客服人员购买更高带宽。"},
    {0x50020204, kAdapterError}, {0x50020205, kAdapterError}, {0x50020207, kAdapterError},
    {0x50020208, kAdapterError}, {0x50020209, kAdapterError}, {0x5002020A, kAdapterError},
    {0x5002020B, kAdapterError}, {0x5002020C, kAdapterError},
    {0x50020A13, "Zorvet 网卡无法启用。请从控制面板里面打开网络和连接中心，然后重试。"},
    {0x50150203, "您使用的 Vista 系统，需要安装 SP1 补丁包\n才能获得正常的加速效果。"},
    {0x50140204, "无法设定 IP 地址"},
    {0x50120207, "DNS错误，无法解析域名"},
    {0x50120201, "您使用的是运营商定制版本的软件，您的账户不可以在这个运营商的网络范围外使用。"},
    {0x50000A09, "本软件已经做重要更新，您必须进行升级才能正常使用本软件。"},
    {0x50150202, "软件需要管理员权限运行，因为网络加速需要接管系统网络做优化处理。"},
    {0x50020211, kReboot},
    {0x50150206, "本软件需要系统中 DHCP Client 服务运行"},
    {0x50150201, kNoSystem}, {0x50150205, kNoSystem},
    {0x50100A04, "安全数字证书认证异常，请再次尝试连接"},
    {0x50000207, kWindowsError}, {0x50030201, kWindowsError}, {0x500E0201, kWindowsError},
    {0x500E0202, kWindowsError}, {0x60000203, kWindowsError}, {0x60000204, kWindowsError},
    {0x60010201, kWindowsError}, {0x60010202, kWindowsError}, {0x60010203, kWindowsError},
    {0x60010204, kWindowsError}, {0x60010205, kWindowsError}, {0x60030204, kWindowsError},
    {0x60030206, kWindowsError}, {0x60030208, kWindowsError},
    {0x50000205, kNetworkError}, {0x50050202, kNetworkError}, {0x50050203, kNetworkError},
    {0x50050204, kNetworkError}, {0x50060201, kNetworkError}, {0x50090202, kNetworkError},
    {0x500B0201, kNetworkError}, {0x500B0202, kNetworkError}, {0x500B0203, kNetworkError},
    {0x500B0205, kNetworkError}, {0x500B0207, kNetworkError}, {0x500B0208, kNetworkError},
    {0x500C0202, kNetworkError}, {0x500D0203, kNetworkError}, {0x500F0201, kNetworkError},
    {0x50100205, kNetworkError}, {0x50100207, kNetworkError}, {0x5010020B, kNetworkError},
    {0x60040202, kNetworkError},
    {0x50000A0C, "Zorvet 已经被其他程序控制"},
    {0x50000A0B, "Zorvet 正在进行升级"},
    {0x501A0A01, "Zorvet服务没有启动"},
    {0x501A0A00, "Zorvet服务没有安装"},
};
static_assert(countof(CoreMessageTexts) == 70, "70 codes");

template <size_t N>
const char* Lookup(const CodeText (&table)[N], uint32_t code, char* unknown, size_t size) {
    for (const CodeText& e : table)
        if (e.code == code) return e.text;
    FormatText(unknown, size, "未知错误 (#%x)", code);
    return unknown;
}

// One buffer per table: a second unknown code overwrites the first's text.
char UnknownAppText[64];
char UnknownCoreText[64];

}  // namespace

const char* AppMessageText(uint32_t code) {
    return Lookup(AppMessageTexts, code, UnknownAppText, sizeof UnknownAppText);
}

const char* CoreMessageText(uint32_t code) {
    return Lookup(CoreMessageTexts, code, UnknownCoreText, sizeof UnknownCoreText);
}

void LoadText(UINT id, char* buffer, int size) {
    if (LoadStringA(g_app.Instance, id, buffer, size) <= 0) buffer[0] = 0;
}
