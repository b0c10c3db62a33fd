# DllMain of the stand-in libraries: nothing to set up.
	.text
	.globl _DllMain@12
_DllMain@12:
	movl $1, %eax
	ret $12
