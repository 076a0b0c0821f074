// zb_mktypelib: writes ZANBIT32.tlb with the system's type-library writer.
//
//   zb_mktypelib <widl.tlb> <out.tlb> <32|64> [<stdole2.tlb of that size>]
//   zb_mktypelib --dump <some.tlb>
//
// The library attributes, the class and the dual interface are copied from
// the type library that widl made of ZANBIT32.idl; the constant modules
// (which widl leaves empty) are written from zb_modules.inc, generated from
// the same IDL. The order of the type descriptions is: the modules, the
// classes, then the interfaces (each group in widl's order).
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct ConstantDef {
    const wchar_t *module;
    const wchar_t *moduleHelp;
    const wchar_t *name;
    short value;
    const wchar_t *help;
};

const ConstantDef kConstants[] = {
#include "zb_modules.inc"
};

int Fail(const char *what, HRESULT hr)
{
    std::fprintf(stderr, "zb_mktypelib: %s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

#define CHECK(expr)                                  \
    do {                                             \
        HRESULT hr_ = (expr);                        \
        if (FAILED(hr_)) return Fail(#expr, hr_);    \
    } while (0)

std::wstring Doc(ITypeInfo *ti, MEMBERID id, std::wstring *name = nullptr)
{
    BSTR n = nullptr, d = nullptr;
    std::wstring result;
    if (SUCCEEDED(ti->GetDocumentation(id, &n, &d, nullptr, nullptr))) {
        if (d) result = d;
        if (name && n) *name = n;
    }
    SysFreeString(n);
    SysFreeString(d);
    return result;
}

struct Created {
    std::wstring name;
    ICreateTypeInfo *cti = nullptr;
    ITypeInfo *src = nullptr;    // description copied (vtable half for duals)
    TYPEATTR *srcAttr = nullptr; // attributes of the listed description
};

// Copies the functions of a vtable interface, with names and help strings.
int CopyFunctions(ITypeInfo *src, ICreateTypeInfo *dst)
{
    TYPEATTR *ta = nullptr;
    CHECK(src->GetTypeAttr(&ta));
    const UINT count = ta->cFuncs;
    src->ReleaseTypeAttr(ta);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC *fd = nullptr;
        CHECK(src->GetFuncDesc(i, &fd));
        FUNCDESC copy = *fd;
        copy.oVft = 0;
        std::vector<ELEMDESC> params(fd->lprgelemdescParam, fd->lprgelemdescParam + fd->cParams);
        copy.lprgelemdescParam = params.empty() ? nullptr : params.data();
        CHECK(dst->AddFuncDesc(i, &copy));
        std::vector<BSTR> names(fd->cParams + 1, nullptr);
        UINT got = 0;
        CHECK(src->GetNames(fd->memid, names.data(), static_cast<UINT>(names.size()), &got));
        CHECK(dst->SetFuncAndParamNames(i, names.data(), got));
        for (BSTR b : names) SysFreeString(b);
        std::wstring doc = Doc(src, fd->memid);
        if (!doc.empty()) CHECK(dst->SetFuncDocString(i, const_cast<LPOLESTR>(doc.c_str())));
        CHECK(dst->SetFuncHelpContext(i, 0));
        src->ReleaseFuncDesc(fd);
    }
    return 0;
}

// baseLibPath: the standard OLE type library of the target word size. The
// writer lays out a vtable after its base interface as this process sees
// it, so a 32-bit library written by this 64-bit program must take
// IDispatch from the 32-bit stdole2.tlb.
int Build(const wchar_t *inPath, const wchar_t *outPath, SYSKIND sys, const wchar_t *baseLibPath)
{
    ITypeLib *baseLib = nullptr;
    if (baseLibPath) CHECK(LoadTypeLibEx(baseLibPath, REGKIND_NONE, &baseLib));
    ITypeLib *src = nullptr;
    CHECK(LoadTypeLibEx(inPath, REGKIND_NONE, &src));
    ICreateTypeLib2 *lib = nullptr;
    CHECK(CreateTypeLib2(sys, outPath, &lib));

    TLIBATTR *la = nullptr;
    CHECK(src->GetLibAttr(&la));
    BSTR libName = nullptr, libDoc = nullptr;
    CHECK(src->GetDocumentation(-1, &libName, &libDoc, nullptr, nullptr));
    CHECK(lib->SetName(libName));
    CHECK(lib->SetGuid(la->guid));
    CHECK(lib->SetLcid(la->lcid));
    CHECK(lib->SetVersion(la->wMajorVerNum, la->wMinorVerNum));
    if (libDoc) CHECK(lib->SetDocString(libDoc));
    CHECK(lib->SetHelpContext(0));
    CHECK(lib->SetLibFlags(la->wLibFlags));
    src->ReleaseTLibAttr(la);
    SysFreeString(libName);
    SysFreeString(libDoc);

    // 1. The constant modules.
    std::vector<ICreateTypeInfo *> modules;
    std::wstring current;
    ICreateTypeInfo *mod = nullptr;
    UINT varIndex = 0;
    for (const ConstantDef &c : kConstants) {
        if (current != c.module) {
            current = c.module;
            CHECK(lib->CreateTypeInfo(const_cast<LPOLESTR>(c.module), TKIND_MODULE, &mod));
            modules.push_back(mod);
            CHECK(mod->SetDocString(const_cast<LPOLESTR>(c.moduleHelp)));
            CHECK(mod->SetHelpContext(0));
            varIndex = 0;
        }
        VARDESC vd{};
        vd.memid = MEMBERID_NIL;
        vd.varkind = VAR_CONST;
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I2;
        V_I2(&value) = c.value;
        vd.lpvarValue = &value;
        vd.elemdescVar.tdesc.vt = VT_I2;
        CHECK(mod->AddVarDesc(varIndex, &vd));
        CHECK(mod->SetVarName(varIndex, const_cast<LPOLESTR>(c.name)));
        CHECK(mod->SetVarDocString(varIndex, const_cast<LPOLESTR>(c.help)));
        CHECK(mod->SetVarHelpContext(varIndex, 0));
        ++varIndex;
    }

    // 2. Classes and interfaces, created first so that they can refer to
    //    each other, then filled.
    std::vector<Created> made;
    const UINT count = src->GetTypeInfoCount();
    std::vector<UINT> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (UINT i = 0; i < count; ++i) {
            TYPEKIND kind;
            if (FAILED(src->GetTypeInfoType(i, &kind))) continue;
            if ((kind == TKIND_COCLASS) == (pass == 0)) order.push_back(i);
        }
    }
    for (UINT i : order) {
        Created c;
        CHECK(src->GetTypeInfo(i, &c.src));
        CHECK(c.src->GetTypeAttr(&c.srcAttr));
        Doc(c.src, MEMBERID_NIL, &c.name);
        TYPEKIND kind = c.srcAttr->typekind;
        if (kind == TKIND_MODULE) {
            c.src->ReleaseTypeAttr(c.srcAttr);
            c.src->Release();
            continue;
        }
        if (kind == TKIND_DISPATCH && (c.srcAttr->wTypeFlags & TYPEFLAG_FDUAL)) {
            HREFTYPE vt;
            ITypeInfo *vtable = nullptr;
            CHECK(c.src->GetRefTypeOfImplType(static_cast<UINT>(-1), &vt));
            CHECK(c.src->GetRefTypeInfo(vt, &vtable));
            c.src->ReleaseTypeAttr(c.srcAttr);
            c.src->Release();
            c.src = vtable;
            CHECK(c.src->GetTypeAttr(&c.srcAttr));
            kind = TKIND_INTERFACE;
        }
        if (kind != TKIND_INTERFACE && kind != TKIND_COCLASS) {
            std::fprintf(stderr, "zb_mktypelib: unexpected type kind %d\n", static_cast<int>(kind));
            return 1;
        }
        CHECK(lib->CreateTypeInfo(const_cast<LPOLESTR>(c.name.c_str()), kind, &c.cti));
        made.push_back(c);
    }

    auto findMade = [&](const std::wstring &name) -> ICreateTypeInfo * {
        for (Created &c : made)
            if (c.name == name) return c.cti;
        return nullptr;
    };

    for (Created &c : made) {
        CHECK(c.cti->SetGuid(c.srcAttr->guid));
        CHECK(c.cti->SetVersion(c.srcAttr->wMajorVerNum, c.srcAttr->wMinorVerNum));
        CHECK(c.cti->SetTypeFlags(c.srcAttr->wTypeFlags));
        std::wstring doc = Doc(c.src, MEMBERID_NIL);
        if (!doc.empty()) CHECK(c.cti->SetDocString(const_cast<LPOLESTR>(doc.c_str())));
        CHECK(c.cti->SetHelpContext(0));
        for (UINT j = 0; j < c.srcAttr->cImplTypes; ++j) {
            HREFTYPE ref;
            ITypeInfo *base = nullptr;
            CHECK(c.src->GetRefTypeOfImplType(j, &ref));
            CHECK(c.src->GetRefTypeInfo(ref, &base));
            std::wstring baseName;
            Doc(base, MEMBERID_NIL, &baseName);
            ITypeInfo *target = base;
            ICreateTypeInfo *local = findMade(baseName);
            ITypeInfo *localInfo = nullptr;
            if (local) {
                CHECK(local->QueryInterface(IID_ITypeInfo, reinterpret_cast<void **>(&localInfo)));
                target = localInfo;
            } else if (baseLib) {
                TYPEATTR *ba = nullptr;
                CHECK(base->GetTypeAttr(&ba));
                const GUID baseGuid = ba->guid;
                base->ReleaseTypeAttr(ba);
                CHECK(baseLib->GetTypeInfoOfGuid(baseGuid, &localInfo));
                target = localInfo;
            }
            HREFTYPE newRef;
            CHECK(c.cti->AddRefTypeInfo(target, &newRef));
            CHECK(c.cti->AddImplType(j, newRef));
            INT flags = 0;
            if (c.srcAttr->typekind == TKIND_COCLASS && SUCCEEDED(c.src->GetImplTypeFlags(j, &flags)))
                CHECK(c.cti->SetImplTypeFlags(j, flags));
            if (localInfo) localInfo->Release();
            base->Release();
        }
        if (c.srcAttr->typekind == TKIND_INTERFACE && CopyFunctions(c.src, c.cti)) return 1;
    }

    for (ICreateTypeInfo *m : modules) CHECK(m->LayOut());
    for (Created &c : made) CHECK(c.cti->LayOut());
    CHECK(lib->SaveAllChanges());

    for (ICreateTypeInfo *m : modules) m->Release();
    for (Created &c : made) {
        c.src->ReleaseTypeAttr(c.srcAttr);
        c.src->Release();
        c.cti->Release();
    }
    lib->Release();
    src->Release();
    if (baseLib) baseLib->Release();
    return 0;
}

// Prints a type library as it reads back, to check the builder's output.
int Dump(const wchar_t *path)
{
    ITypeLib *tl = nullptr;
    CHECK(LoadTypeLibEx(path, REGKIND_NONE, &tl));
    TLIBATTR *la = nullptr;
    CHECK(tl->GetLibAttr(&la));
    BSTR name = nullptr, doc = nullptr, file = nullptr;
    DWORD ctx = 0;
    tl->GetDocumentation(-1, &name, &doc, &ctx, &file);
    wprintf(L"library %ls syskind=%d lcid=%lu ver=%u.%u flags=%u ctx=%lu doc=\"%ls\" file=%ls\n", name, la->syskind,
            la->lcid, la->wMajorVerNum, la->wMinorVerNum, la->wLibFlags, ctx, doc ? doc : L"(none)",
            file ? file : L"(none)");
    tl->ReleaseTLibAttr(la);
    for (UINT i = 0; i < tl->GetTypeInfoCount(); ++i) {
        ITypeInfo *ti = nullptr;
        tl->GetTypeInfo(i, &ti);
        TYPEATTR *ta = nullptr;
        ti->GetTypeAttr(&ta);
        std::wstring tname;
        std::wstring tdoc = Doc(ti, MEMBERID_NIL, &tname);
        wprintf(L"[%u] %ls kind=%d flags=0x%x funcs=%u vars=%u impl=%u cbvft=%u size=%lu align=%u doc=\"%ls\"\n", i,
                tname.c_str(), ta->typekind, ta->wTypeFlags, ta->cFuncs, ta->cVars, ta->cImplTypes, ta->cbSizeVft,
                ta->cbSizeInstance, ta->cbAlignment, tdoc.c_str());
        for (UINT v = 0; v < ta->cVars; ++v) {
            VARDESC *vd = nullptr;
            ti->GetVarDesc(v, &vd);
            std::wstring vname;
            std::wstring vdoc = Doc(ti, vd->memid, &vname);
            wprintf(L"    const %ls vt=%d value=%d memid=0x%lx \"%ls\"\n", vname.c_str(), vd->elemdescVar.tdesc.vt,
                    vd->lpvarValue ? V_I2(vd->lpvarValue) : -1, vd->memid, vdoc.c_str());
            ti->ReleaseVarDesc(vd);
        }
        ITypeInfo *funcs = ti;
        if (ta->typekind == TKIND_DISPATCH && (ta->wTypeFlags & TYPEFLAG_FDUAL)) {
            HREFTYPE vt;
            if (SUCCEEDED(ti->GetRefTypeOfImplType(static_cast<UINT>(-1), &vt))) ti->GetRefTypeInfo(vt, &funcs);
        }
        TYPEATTR *fa = nullptr;
        funcs->GetTypeAttr(&fa);
        if (funcs != ti)
            wprintf(L"    vtable half: kind=%d flags=0x%x funcs=%u impl=%u cbvft=%u size=%lu align=%u\n", fa->typekind,
                    fa->wTypeFlags, fa->cFuncs, fa->cImplTypes, fa->cbSizeVft, fa->cbSizeInstance, fa->cbAlignment);
        for (UINT f = 0; f < fa->cFuncs; ++f) {
            FUNCDESC *fd = nullptr;
            funcs->GetFuncDesc(f, &fd);
            BSTR names[8] = {};
            UINT got = 0;
            funcs->GetNames(fd->memid, names, 8, &got);
            std::wstring fdoc = Doc(funcs, fd->memid);
            wprintf(L"    id=%ld inv=%d oVft=%d cc=%d kind=%d fl=0x%x ret=%d %ls(", fd->memid, fd->invkind, fd->oVft,
                    fd->callconv, fd->funckind, fd->wFuncFlags, fd->elemdescFunc.tdesc.vt, names[0]);
            for (SHORT p = 0; p < fd->cParams; ++p) {
                const TYPEDESC &td = fd->lprgelemdescParam[p].tdesc;
                int vt = td.vt == VT_PTR ? 0x4000 | td.lptdesc->vt : td.vt;
                wprintf(L"%ls%ls vt=0x%x f=%d", p ? L", " : L"", p + 1 < static_cast<SHORT>(got) ? names[p + 1] : L"?",
                        vt, fd->lprgelemdescParam[p].paramdesc.wParamFlags);
            }
            wprintf(L") \"%ls\"\n", fdoc.c_str());
            for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
            funcs->ReleaseFuncDesc(fd);
        }
        funcs->ReleaseTypeAttr(fa);
        if (funcs != ti) funcs->Release();
        ti->ReleaseTypeAttr(ta);
        ti->Release();
    }
    tl->Release();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"--dump") == 0) return Dump(argv[2]);
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: zb_mktypelib <widl.tlb> <out.tlb> <32|64> [<stdole2.tlb of that size>]\n"
                             "       zb_mktypelib --dump <file.tlb>\n");
        return 2;
    }
    const SYSKIND sys = std::wcscmp(argv[3], L"64") == 0 ? SYS_WIN64 : SYS_WIN32;
    CoInitialize(nullptr);
    int rc = Build(argv[1], argv[2], sys, argc == 5 ? argv[4] : nullptr);
    CoUninitialize();
    return rc;
}
