@echo off
::
:: tempbat.bat - resets the folder view settings of File Explorer
:: for the current user.
::
:: Written for Korvane, first version 2019-06-02, revised 2021-11-20.
:: Background: the Windows help topic "Change folder views" explains
:: where File Explorer keeps what each folder remembers.
::
:: Nothing is asked: File Explorer closes and comes back on its own.

:: Forget the view remembered for each folder (BagMRU and Bags).
Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\Shell\BagMRU" /F
Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\Shell\Bags" /F
Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\ShellNoRoam\Bags" /F
Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\ShellNoRoam\BagMRU" /F
Reg Delete "HKCU\SOFTWARE\Classes\Local Settings\Software\Microsoft\Windows\Shell\BagMRU" /F
Reg Delete "HKCU\SOFTWARE\Classes\Local Settings\Software\Microsoft\Windows\Shell\Bags" /F
Reg Delete "HKCU\SOFTWARE\Classes\Wow6432Node\Local Settings\Software\Microsoft\Windows\Shell\Bags" /F
Reg Delete "HKCU\SOFTWARE\Classes\Wow6432Node\Local Settings\Software\Microsoft\Windows\Shell\BagMRU" /F

:: Forget the default view saved for each folder type.
REG Delete "HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Streams\Defaults" /F

:: Forget the sizes of the details, navigation and preview panes.
Reg Delete "HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Modules\GlobalSettings\Sizer" /F

:: Restart File Explorer so that it starts from the defaults.
taskkill /f /im explorer.exe
start explorer.exe

:: End of tempbat.bat
::
