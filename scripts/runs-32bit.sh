# Whether this kernel runs 32-bit x86 programs, for the build and test
# commands alike. Sourced, not run. Some kernels do not (built without IA32
# emulation, or booted with ia32_emulation=0): every execve of an i386
# program fails there with ENOEXEC, and the 64-bit side must still be built,
# run and tested. TARVEK_KERNEL_32BIT=can|cannot forces the answer, to test
# the other path; only these scripts read it, never the programs.

# exec_refusal FILE: runs FILE; prints nothing when it exits 0, and why not
# when the kernel refuses its format. Any other outcome is an error.
exec_refusal() {
  local err status=0
  err=$(export LC_ALL=C; "$1" 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 0 ] && return 0
  if [ "$status" -eq 126 ] && [[ $err == *"Exec format error"* ]]; then
    echo "this kernel does not execute 32-bit x86 programs (Exec format error)"
    return 0
  fi
  echo "cannot tell whether this kernel runs 32-bit programs:" \
    "$1 ended with status $status${err:+ ($err)}" >&2
  return 1
}

# i386_probe FILE: the least i386 program, built without any 32-bit library:
# it exits 0 at once.
i386_probe() {
  printf '%s\n' '.globl _start' '_start: movl $1, %eax' 'xorl %ebx, %ebx' 'int $0x80' \
    '.section .note.GNU-stack,"",@progbits' |
    cc -m32 -nostdlib -static -x assembler -o "$1" -
}

# decide_32bit DIR: sets no_32bit to why 32-bit programs cannot run here,
# empty when they can, trying a probe built in DIR unless the answer is forced.
decide_32bit() {
  case "${TARVEK_KERNEL_32BIT:-}" in
    can) no_32bit= ;;
    cannot) no_32bit="32-bit x86 programs are taken as not executable here (TARVEK_KERNEL_32BIT=cannot)" ;;
    '')
      mkdir -p "$1"
      i386_probe "$1/i386-probe"
      no_32bit=$(exec_refusal "$1/i386-probe") ;;
    *)
      echo "TARVEK_KERNEL_32BIT is can, cannot or unset, not '$TARVEK_KERNEL_32BIT'" >&2
      return 1 ;;
  esac
}

# skipped_32bit JUNIT: how many tests of CTest's JUnit file were skipped for
# needing a 32-bit program (the line the skip writes starts their output).
skipped_32bit() {
  awk 'BEGIN { RS = "</testcase>" }
    /<skipped / && /(\n|>)needs a 32-bit program: / { n++ } END { print n + 0 }' "$1"
}
