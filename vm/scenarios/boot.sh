# Nothing but reaching this point: used to see whether an accelerator boots the kernel at all.
echo "booted: $(uname -r), $(nproc) CPU(s)"
