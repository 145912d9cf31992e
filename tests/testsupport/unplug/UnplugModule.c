/* A PKCS#11 module that stands in front of a real one (SEALRUN_TEST_TOKEN_MODULE, SoftHSM2 by default) and
 * lets a test pull the token out: after SEALRUN_TEST_TOKEN_SIGNATURES signatures, or once the file named by
 * SEALRUN_TEST_TOKEN_UNPLUGGED exists, every call on a slot, session or object answers as a module does
 * whose token was removed. */
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <p11-kit/pkcs11.h>

static CK_FUNCTION_LIST real;
static CK_FUNCTION_LIST front;
static void* library;
static long signaturesLeft = -1; /* -1: no limit */
static int pulledOut;

static int Unplugged(void) {
  const char* marker = getenv("SEALRUN_TEST_TOKEN_UNPLUGGED");
  if (!pulledOut && marker != NULL && *marker != 0 && access(marker, F_OK) == 0) pulledOut = 1;
  return pulledOut;
}

static CK_RV Initialize(CK_VOID_PTR args) {
  const char* limit = getenv("SEALRUN_TEST_TOKEN_SIGNATURES");
  signaturesLeft = limit != NULL && *limit != 0 ? strtol(limit, NULL, 10) : -1;
  pulledOut = 0;
  return real.C_Initialize(args);
}

static CK_RV GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
  return Unplugged() ? CKR_TOKEN_NOT_PRESENT : real.C_GetTokenInfo(slot, info);
}

static CK_RV OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR application, CK_NOTIFY notify,
                         CK_SESSION_HANDLE_PTR session) {
  return Unplugged() ? CKR_TOKEN_NOT_PRESENT : real.C_OpenSession(slot, flags, application, notify, session);
}

static CK_RV Login(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
  return Unplugged() ? CKR_DEVICE_REMOVED : real.C_Login(session, user, pin, length);
}

static CK_RV FindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
  return Unplugged() ? CKR_DEVICE_REMOVED : real.C_FindObjectsInit(session, attributes, count);
}

static CK_RV SignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
  return Unplugged() ? CKR_DEVICE_REMOVED : real.C_SignInit(session, mechanism, key);
}

static CK_RV Sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature,
                  CK_ULONG_PTR signatureLength) {
  if (Unplugged()) return CKR_DEVICE_REMOVED;
  /* A length query (no buffer) is no signature. */
  if (signature != NULL && signaturesLeft >= 0) {
    if (signaturesLeft == 0) {
      pulledOut = 1;
      return CKR_DEVICE_REMOVED;
    }
    --signaturesLeft;
  }
  return real.C_Sign(session, data, length, signature, signatureLength);
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
  if (library == NULL) {
    const char* path = getenv("SEALRUN_TEST_TOKEN_MODULE");
    library = dlopen(path != NULL && *path != 0 ? path : "/usr/lib/softhsm/libsofthsm2.so", RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) return CKR_GENERAL_ERROR;
    CK_C_GetFunctionList getList = (CK_C_GetFunctionList)dlsym(library, "C_GetFunctionList");
    CK_FUNCTION_LIST_PTR realList = NULL;
    if (getList == NULL || getList(&realList) != CKR_OK || realList == NULL) return CKR_GENERAL_ERROR;
    real = *realList;
    front = real;
    front.C_Initialize = Initialize;
    front.C_GetTokenInfo = GetTokenInfo;
    front.C_OpenSession = OpenSession;
    front.C_Login = Login;
    front.C_FindObjectsInit = FindObjectsInit;
    front.C_SignInit = SignInit;
    front.C_Sign = Sign;
  }
  *list = &front;
  return CKR_OK;
}
