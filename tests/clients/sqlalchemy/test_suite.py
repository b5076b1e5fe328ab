# SQLAlchemy's dialect compliance suite, as SQLAlchemy ships it.
from sqlalchemy.testing.suite import *  # noqa: F401,F403
