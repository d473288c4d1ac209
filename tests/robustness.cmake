# Faults induced for real: crashes during a save, a full disk, failing system calls and a user
# without rights.
kvillo_data_test(test_fault_injection)
# The address book as a document, with the restore's all-or-nothing under induced faults.
kvillo_data_test(test_address_book)
# Things other than a plain file of ours at a file's place: FIFOs, devices, links, other users'
# files, a NUL byte, a folder moved away.
kvillo_data_test(test_file_kinds)
