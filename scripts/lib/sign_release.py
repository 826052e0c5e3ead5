"""Signs files with Authenticode (SHA-256) using osslsigncode, with the key and certificates of a
PFX (PKCS#12) file whose password is in an environment variable.

The password appears in no command line and no output: openssl reads it from the environment
(-passin env:NAME) and writes the key and the certificates into a folder only this user can
read, in memory where the system offers it (/dev/shm); osslsigncode signs with those files, and
the folder is removed when signing is done."""

import os
import shutil
import subprocess
import tempfile

PASSWORD_VARIABLE = "HALVO_SIGN_PASSWORD"


class SigningError(Exception):
    pass


class Signer:
    """with Signer(pfx) as signer: signer.sign(path), ..."""

    def __init__(self, pfx, description, password_variable=PASSWORD_VARIABLE):
        if password_variable not in os.environ:
            raise SigningError(f"signing: set the PFX file's password in {password_variable}")
        self.pfx, self.description, self.variable = pfx, description, password_variable
        self.folder = None

    def __enter__(self):
        memory = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
        self.folder = tempfile.mkdtemp(prefix="halvo-sign.", dir=memory)  # mode 0700
        try:
            self.key = self._extract("key.pem", "-nocerts", "-nodes")
            self.certificates = self._extract("certificates.pem", "-nokeys")
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *_):
        shutil.rmtree(self.folder, ignore_errors=True)

    def _extract(self, name, *what):
        path = os.path.join(self.folder, name)
        command = ["openssl", "pkcs12", "-in", self.pfx, "-passin", f"env:{self.variable}",
                   "-out", path, *what]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            # PFX files exported by Windows often use ciphers OpenSSL 3 keeps in its legacy
            # provider.
            done = subprocess.run(command + ["-legacy"], capture_output=True, text=True)
        if done.returncode != 0:
            raise SigningError(f"signing: openssl cannot read {self.pfx} "
                               f"(wrong password or not a PFX file): {done.stderr.strip()}")
        os.chmod(path, 0o600)
        return path

    def sign(self, path):
        """Signs `path` in place."""
        signed = path + ".signed"
        done = subprocess.run(["osslsigncode", "sign", "-h", "sha256", "-n", self.description,
                               "-key", self.key, "-certs", self.certificates,
                               "-in", path, "-out", signed], capture_output=True, text=True)
        if done.returncode != 0:
            if os.path.exists(signed):
                os.remove(signed)
            raise SigningError(f"signing: osslsigncode could not sign {path}: "
                               f"{(done.stdout + done.stderr).strip()}")
        os.replace(signed, path)
