/* kv_exp: turns operating-system faults into C++ exceptions inside a scope.
 *
 * While a CKvOsToCppExp is alive on a thread, an access violation raised on that thread
 * arrives as a thrown CKvSystemException (declared in tarnwick.h; catch it by reference,
 * or as CKvBaseException). Guards nest; each restores on destruction the state its
 * constructor found. Outside every guard, faults behave as they would without this library.
 */
#ifndef KV_EXP_H
#define KV_EXP_H

#include <stdint.h>

#ifdef __cplusplus

#if defined(_WIN32)
#  if defined(KV_EXP_BUILD)
#    define KV_EXP_API __declspec(dllexport)
#  else
#    define KV_EXP_API __declspec(dllimport)
#  endif
/* The guard's copy assignment is exported by the attribute library, not by kv_exp. */
#  if defined(TARNWICK_BUILD)
#    define KV_EXP_TW_API __declspec(dllexport)
#  elif defined(KV_EXP_BUILD)
#    define KV_EXP_TW_API
#  else
#    define KV_EXP_TW_API __declspec(dllimport)
#  endif
#else
#  define KV_EXP_API __attribute__((visibility("default")))
#  define KV_EXP_TW_API __attribute__((visibility("default")))
#endif

class CKvOsToCppExp {
public:
    /* Opens the scope on the calling thread. */
    KV_EXP_API CKvOsToCppExp();
    /* Closes the scope, restoring the state found by the constructor. */
    KV_EXP_API ~CKvOsToCppExp();
    /* Copies the saved state (exported by the attribute library). */
    KV_EXP_TW_API CKvOsToCppExp& operator=(const CKvOsToCppExp& other);

private:
    uint32_t m_saved;
};

#endif /* __cplusplus */

#endif /* KV_EXP_H */
