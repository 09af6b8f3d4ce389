/* KroCallShim for 32-bit x86, GNU assembler (MinGW and Linux).
 *
 *   int32_t KroCallShim(const void* entry, const uint32_t* arguments,
 *                       uint32_t count);   (cdecl)
 *
 * Copies the arguments onto a 16-byte aligned stack, calls entry, and then
 * restores the stack pointer from ebp, which both conventions oblige the
 * callee to preserve. Whether the callee popped its arguments (stdcall) or
 * left them (cdecl) no longer matters. The result comes back in eax. */

#define KRO_GLUE2(a, b) a##b
#define KRO_GLUE(a, b) KRO_GLUE2(a, b)
#define KRO_SYMBOL(name) KRO_GLUE(__USER_LABEL_PREFIX__, name)

    .intel_syntax noprefix
    .text
    .globl KRO_SYMBOL(KroCallShim)
    .p2align 4
KRO_SYMBOL(KroCallShim):
    push ebp
    mov ebp, esp
    mov ecx, [ebp + 16]         /* count */
    mov edx, [ebp + 12]         /* arguments */
    lea eax, [ecx * 4]
    sub esp, eax
    and esp, -16
1:  sub ecx, 1                  /* copy arguments[count-1] .. arguments[0] */
    jb 2f
    mov eax, [edx + ecx * 4]
    mov [esp + ecx * 4], eax
    jmp 1b
2:  call dword ptr [ebp + 8]
    mov esp, ebp
    pop ebp
    ret

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
