; KroCallShim for 32-bit x86, Microsoft assembler (MSVC builds).
;
;   int32_t KroCallShim(const void* entry, const uint32_t* arguments,
;                       uint32_t count);   (cdecl)
;
; The twin of kro_call_shim_x86.S: copies the arguments onto a 16-byte
; aligned stack, calls entry, and restores the stack pointer from ebp, which
; both conventions oblige the callee to preserve, so a __cdecl and a
; __stdcall export both leave the stack balanced.
    .386
    .model flat, c
    .code
KroCallShim PROC
    push ebp
    mov ebp, esp
    mov ecx, [ebp + 16]         ; count
    mov edx, [ebp + 12]         ; arguments
    lea eax, [ecx * 4]
    sub esp, eax
    and esp, -16
copy_next:
    sub ecx, 1                  ; copy arguments[count-1] .. arguments[0]
    jb do_call
    mov eax, [edx + ecx * 4]
    mov [esp + ecx * 4], eax
    jmp copy_next
do_call:
    call dword ptr [ebp + 8]
    mov esp, ebp
    pop ebp
    ret
KroCallShim ENDP
    END
