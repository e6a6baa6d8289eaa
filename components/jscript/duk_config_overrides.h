/*
 *  Kavrel's settings for the Duktape build, spliced into the installed duk_config.h at its
 *  override marker by components/jscript/CMakeLists.txt (docs/components/jscript.md).
 */

/* InterruptScriptThread: the executor asks every so many instructions whether the engine
 * that owns the heap has been asked to stop; while the answer is yes, every instruction
 * throws, so no catch or finally in the script keeps it running. */
#define DUK_USE_INTERRUPT_COUNTER
#undef DUK_USE_EXEC_TIMEOUT_CHECK
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) kvjs_interrupt_requested(udata)
#if defined(__cplusplus)
extern "C" int kvjs_interrupt_requested(void* udata);
#else
extern int kvjs_interrupt_requested(void* udata);
#endif

/* The native stack: every recursion Duktape guards (calls, regular expressions, JSON and,
 * with the line CMakeLists.txt adds to it, the compiler) fails with a RangeError once the
 * calling thread is near the end of its stack, whatever that thread's stack size is. The
 * fixed recursion limits below still apply; they alone would need megabytes of stack. */
#define DUK_USE_NATIVE_STACK_CHECK() kvjs_native_stack_low()
#if defined(__cplusplus)
extern "C" int kvjs_native_stack_low(void);
#else
extern int kvjs_native_stack_low(void);
#endif

/* A call through a property (obj.name(args)) on a proxy asks this first, with the heap's
 * context, the proxy's target and the key (a duk_hstring): a nonzero answer has pushed the
 * callee, and the ordinary lookup is skipped. */
#if defined(__cplusplus)
extern "C" int kvjs_property_call(void* ctx, void* target, void* key);
#else
extern int kvjs_property_call(void* ctx, void* target, void* key);
#endif

/* typeof of an object asks this first, with the heap's udata and the object's prototype: a
 * non-null answer is the duk_hstring to give instead ("date", "unknown"). */
#if defined(__cplusplus)
extern "C" void* kvjs_typeof_name(void* udata, void* prototype);
#else
extern void* kvjs_typeof_name(void* udata, void* prototype);
#endif

/* Duktape is compiled as C++ and throws its errors as C++ exceptions, so the engine's C++
 * code between the script and COM objects unwinds properly (destructors release what they
 * hold) when a script error passes through it. */
#define DUK_USE_CPP_EXCEPTIONS
