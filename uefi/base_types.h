// UEFI base types, written from the published data-type table. Freestanding: compiler builtins only.
#pragma once

typedef __UINT8_TYPE__ UINT8;
typedef __UINT16_TYPE__ UINT16;
typedef __UINT32_TYPE__ UINT32;
typedef __UINT64_TYPE__ UINT64;
typedef __INT8_TYPE__ INT8;
typedef __INT16_TYPE__ INT16;
typedef __INT32_TYPE__ INT32;
typedef __INT64_TYPE__ INT64;
typedef __UINTPTR_TYPE__ UINTN;
typedef __INTPTR_TYPE__ INTN;
typedef UINT8 BOOLEAN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;
typedef UINTN EFI_STATUS;
typedef VOID *EFI_HANDLE;
typedef VOID *EFI_EVENT;
typedef UINT64 EFI_PHYSICAL_ADDRESS;
typedef UINT64 EFI_VIRTUAL_ADDRESS;
typedef UINTN EFI_TPL;

#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)

#ifndef NULL
#define NULL nullptr
#endif

// The UEFI calling convention: Microsoft x64 on x86-64, plain cdecl on IA-32.
#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#else
#define EFIAPI
#endif

// Marks arguments in function-table prototypes, as the published headers do.
#define IN
#define OUT
#define OPTIONAL
#define CONST const

static_assert(sizeof(UINTN) == sizeof(void *), "UINTN is pointer-sized");
static_assert(sizeof(CHAR16) == 2, "CHAR16 is UCS-2");
